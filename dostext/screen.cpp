// SPDX-License-Identifier: GPL-3.0-or-later
#include "dostext/screen.h"

#include "dostext/codepage.h"

#include <algorithm>

namespace dostext {

namespace {

// ANSI numbers colours black, red, green, yellow, blue, magenta, cyan, white; the DOS palette
// black, blue, green, cyan, red, magenta, brown, grey. The map is its own inverse.
constexpr unsigned char AnsiToDos[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// A cursor move may reach this far below the text drawn so far: a hostile "ESC[65535B" must
// not grow the grid without bound.
constexpr int MaxJump = 1000;

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

int hexValue(QChar c)
{
    return c <= u'9' ? c.unicode() - u'0' : (c.unicode() | 0x20) - u'a' + 10;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

const QString SynchronetCodes = QStringLiteral("KRGYBMCW01234567HINL");

bool isSynchronet(const QString &t, qsizetype i)
{
    return t[i] == QChar(1) && i + 1 < t.size() && SynchronetCodes.contains(t[i + 1].toUpper());
}

// "@Xbf" of PCBoard, or "@bf@" of Wildcat: the length of the code at i, 0 if none.
int pcboardLength(const QString &t, qsizetype i)
{
    if (t[i] != u'@' || i + 3 >= t.size())
        return 0;
    if (t[i + 1] == u'X' && isHex(t[i + 2]) && isHex(t[i + 3]))
        return 4;
    if (isHex(t[i + 1]) && isHex(t[i + 2]) && t[i + 3] == u'@')
        return 4;
    return 0;
}

bool isPipe(const QString &t, qsizetype i)
{
    return t[i] == u'|' && i + 2 < t.size() && isDigit(t[i + 1]) && isDigit(t[i + 2]) &&
           (t[i + 1].unicode() - u'0') * 10 + (t[i + 2].unicode() - u'0') <= 31;
}

class Player
{
public:
    Player(Screen &screen, const Codes &codes) : s(screen), codes(codes) {}
    void play(const QString &t);

private:
    void put(char32_t ch);
    void csi(const QString &t, qsizetype &i);
    void sgr(const QList<int> &params);
    void attribute(int value); // a DOS attribute nibble pair, background high
    void synchronet(QChar code);
    void moveTo(int x, int y);
    void eraseLine(int from);
    Cell blank() const { return Cell{U' ', 7, cellBg()}; }
    unsigned char cellFg() const { return inverse ? cellBgRaw() : (fg | (bold ? 8 : 0)); }
    unsigned char cellBg() const { return inverse ? (fg | (bold ? 8 : 0)) : cellBgRaw(); }
    unsigned char cellBgRaw() const { return bg | (blink ? 8 : 0); }

    Screen &s;
    const Codes &codes;
    int x = 0, y = 0, savedX = 0, savedY = 0;
    unsigned char fg = 7, bg = 0;
    bool bold = false, blink = false, inverse = false, wrapPending = false;
};

void Player::put(char32_t ch)
{
    if (wrapPending) {
        x = 0;
        ++y;
        wrapPending = false;
    }
    s.cell(x, y) = Cell{ch, cellFg(), cellBg()};
    if (++x >= s.width()) {
        x = s.width() - 1;
        wrapPending = true;
    }
}

void Player::moveTo(int nx, int ny)
{
    x = std::clamp(nx, 0, s.width() - 1);
    y = std::clamp(ny, 0, std::max(s.height(), y + 1) + MaxJump);
    wrapPending = false;
}

void Player::eraseLine(int from)
{
    if (y >= s.height())
        return;
    for (int c = from; c < s.width(); ++c)
        s.cell(c, y) = blank();
}

void Player::attribute(int value)
{
    fg = value & 7;
    bold = value & 8;
    bg = (value >> 4) & 7;
    blink = value & 0x80;
}

void Player::sgr(const QList<int> &params)
{
    for (const int p : params.isEmpty() ? QList<int>{0} : params) {
        if (p == 0) {
            fg = 7, bg = 0, bold = blink = inverse = false;
        } else if (p == 1) {
            bold = true;
        } else if (p == 2 || p == 22) {
            bold = false;
        } else if (p == 5 || p == 6) {
            blink = true;
        } else if (p == 25) {
            blink = false;
        } else if (p == 7 || p == 27) {
            inverse = p == 7;
        } else if (p >= 30 && p <= 37) {
            fg = AnsiToDos[p - 30];
        } else if (p == 39) {
            fg = 7;
        } else if (p >= 40 && p <= 47) {
            bg = AnsiToDos[p - 40];
        } else if (p == 49) {
            bg = 0;
        } else if (p >= 90 && p <= 97) {
            fg = AnsiToDos[p - 90], bold = true;
        } else if (p >= 100 && p <= 107) {
            bg = AnsiToDos[p - 100], blink = true;
        }
    }
}

void Player::csi(const QString &t, qsizetype &i)
{
    QList<int> params;
    int value = -1;
    qsizetype j = i + 2;
    for (; j < t.size(); ++j) {
        const QChar c = t[j];
        if (isDigit(c)) {
            value = std::min(9999, (value < 0 ? 0 : value * 10) + (c.unicode() - u'0'));
        } else if (c == u';') {
            params << std::max(value, 0);
            value = -1;
        } else if (c.unicode() >= 0x40 && c.unicode() <= 0x7E) {
            break;
        }
    }
    i = j; // the final byte, or the end of a cut-off sequence
    if (j >= t.size())
        return;
    if (value >= 0)
        params << value;
    const int n = params.isEmpty() || params[0] == 0 ? 1 : params[0];
    switch (t[j].unicode()) {
    case u'm':
        return sgr(params);
    case u'A':
        return moveTo(x, y - n);
    case u'B':
        return moveTo(x, y + n);
    case u'C':
        return moveTo(x + n, y);
    case u'D':
        return moveTo(x - n, y);
    case u'H':
    case u'f':
        return moveTo(params.size() > 1 && params[1] > 0 ? params[1] - 1 : 0, n - 1);
    case u'J':
        if (!params.isEmpty() && params[0] == 2) {
            s.clear();
            moveTo(0, 0);
        } else if (params.isEmpty() || params[0] == 0) {
            eraseLine(x);
        }
        return;
    case u'K':
        return eraseLine(params.isEmpty() || params[0] == 0 ? x : 0);
    case u's':
        savedX = x, savedY = y;
        return;
    case u'u':
        return moveTo(savedX, savedY);
    default:
        return;
    }
}

void Player::synchronet(QChar code)
{
    const QChar c = code.toUpper();
    static const QString Colours = QStringLiteral("KBGCRMYW");
    if (const qsizetype k = Colours.indexOf(c); k >= 0)
        fg = static_cast<unsigned char>(k);
    else if (isDigit(c))
        bg = AnsiToDos[c.unicode() - u'0'];
    else if (c == u'H')
        bold = true;
    else if (c == u'I')
        blink = true;
    else if (c == u'N')
        fg = 7, bg = 0, bold = blink = false;
    else if (c == u'L') {
        s.clear();
        moveTo(0, 0);
    }
}

void Player::play(const QString &t)
{
    static const QString ControlGlyphs = decode(QByteArray("\x00\x01\x02\x03\x04\x05\x06\x07"
                                                           "\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
                                                           "\x10\x11\x12\x13\x14\x15\x16\x17"
                                                           "\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f",
                                                           32),
                                                CodePage::Cp437);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == u'\x1b' && codes.ansi && i + 1 < t.size() && t[i + 1] == u'[') {
            csi(t, i);
        } else if (c == u'\r') {
            x = 0, wrapPending = false;
        } else if (c == u'\n') {
            x = 0, wrapPending = false;
            ++y;
        } else if (c == u'\t') {
            for (int n = 8 - x % 8; n > 0 && x < s.width() - 1; --n)
                put(U' ');
        } else if (c == u'\x1a') {
            return; // DOS end of file
        } else if (codes.synchronet && isSynchronet(t, i)) {
            synchronet(t[++i]);
        } else if (const int len = codes.pcboard ? pcboardLength(t, i) : 0) {
            const qsizetype first = t[i + 1] == u'X' ? i + 2 : i + 1;
            attribute(hexValue(t[first]) * 16 + hexValue(t[first + 1]));
            i += len - 1;
        } else if (codes.pipe && isPipe(t, i)) {
            const int v = (t[i + 1].unicode() - u'0') * 10 + (t[i + 2].unicode() - u'0');
            if (v < 16)
                fg = v & 7, bold = v & 8;
            else
                bg = (v - 16) & 7, blink = v >= 24;
            i += 2;
        } else if (c.unicode() < 0x20) {
            put(ControlGlyphs[c.unicode()].unicode());
        } else if (c.isHighSurrogate() && i + 1 < t.size() && t[i + 1].isLowSurrogate()) {
            put(QChar::surrogateToUcs4(c, t[i + 1]));
            ++i;
        } else {
            put(c.unicode());
        }
    }
}

} // namespace

QStringList Codes::names() const
{
    QStringList n;
    if (ansi)
        n << QStringLiteral("ANSI escape sequences");
    if (synchronet)
        n << QStringLiteral("Synchronet Ctrl-A codes");
    if (pcboard)
        n << QStringLiteral("PCBoard/Wildcat @ codes");
    if (pipe)
        n << QStringLiteral("pipe codes");
    return n;
}

Codes findCodes(const QString &text)
{
    Codes codes;
    int pipes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\x1b' && i + 1 < text.size() && text[i + 1] == u'[')
            codes.ansi = true;
        else if (c == QChar(1) && isSynchronet(text, i))
            codes.synchronet = true;
        else if (c == u'@' && pcboardLength(text, i))
            codes.pcboard = true;
        else if (c == u'|' && isPipe(text, i))
            ++pipes;
    }
    // A lone "|12" can be a table of numbers; codes come in numbers.
    codes.pipe = pipes >= 2;
    return codes;
}

Cell &Screen::cell(int x, int y)
{
    const size_t needed = (size_t(y) + 1) * size_t(m_width);
    if (m_cells.size() < needed)
        m_cells.resize(needed);
    return m_cells[size_t(y) * size_t(m_width) + size_t(x)];
}

QString Screen::plainText() const
{
    QStringList rows;
    for (int y = 0; y < height(); ++y) {
        std::u32string row;
        for (int x = 0; x < m_width; ++x)
            row += at(x, y).ch;
        while (!row.empty() && row.back() == U' ')
            row.pop_back();
        rows << QString::fromUcs4(row.data(), qsizetype(row.size()));
    }
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows.join(QLatin1Char('\n'));
}

QByteArray Screen::terminalText() const
{
    QByteArray out;
    for (int y = 0; y < height(); ++y) {
        int end = m_width;
        while (end > 0 && at(end - 1, y).ch == U' ' && at(end - 1, y).bg == 0)
            --end;
        int fg = -1, bg = -1;
        for (int x = 0; x < end; ++x) {
            const Cell &c = at(x, y);
            if (c.fg != fg || c.bg != bg) {
                fg = c.fg, bg = c.bg;
                out += "\x1b[0;" + QByteArray::number((fg & 8 ? 90 : 30) + AnsiToDos[fg & 7]) +
                       ';' + QByteArray::number((bg & 8 ? 100 : 40) + AnsiToDos[bg & 7]) + 'm';
            }
            out += QString::fromUcs4(&c.ch, 1).toUtf8();
        }
        out += "\x1b[0m\n";
    }
    return out;
}

unsigned paletteColor(int index)
{
    static constexpr unsigned Palette[16] = {
        0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
        0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    return Palette[index & 15];
}

Screen render(const QString &text, const Codes &codes, int width)
{
    Screen screen(width);
    Player(screen, codes).play(text);
    return screen;
}

} // namespace dostext
