// SPDX-License-Identifier: GPL-3.0-or-later
#include "dostext/codepage.h"

#include <QHash>

#include <array>

namespace dostext {

namespace {

#include "dostext/tables.inc"

using Table = std::array<char16_t, 256>;

// The DOS code pages draw control bytes with the DOS glyphs (CP850 gives its own characters to
// the glyphs of 0x14 and 0x15, so those show their control pictures); the Windows pages and
// UTF-8 show control pictures.
Table buildTable(CodePage page)
{
    Table t{};
    const char16_t *high = nullptr;
    switch (page) {
    case CodePage::Cp437:
        std::copy(std::begin(Cp437Glyphs), std::end(Cp437Glyphs), t.begin());
        return t;
    case CodePage::Cp850:
        high = Cp850High;
        break;
    case CodePage::Cp866:
        high = Cp866High;
        break;
    case CodePage::Windows1252:
        high = Windows1252High;
        break;
    case CodePage::Windows1251:
        high = Windows1251High;
        break;
    case CodePage::Utf8:
        break;
    }
    const bool dos = usesDosFont(page);
    for (int b = 0; b < 0x80; ++b)
        t[b] = (b < 0x20 || b == 0x7F) ? char16_t(b == 0x7F ? 0x2421 : 0x2400 + b) : char16_t(b);
    if (dos) {
        std::copy(Cp437Glyphs, Cp437Glyphs + 0x20, t.begin());
        t[0x7F] = Cp437Glyphs[0x7F];
        if (page == CodePage::Cp850)
            t[0x14] = 0x2414, t[0x15] = 0x2415;
    }
    for (int b = 0x80; b < 0x100; ++b)
        t[b] = high ? high[b - 0x80] : char16_t(0xFFFD);
    return t;
}

const Table &table(CodePage page)
{
    static const std::array<Table, 6> tables = [] {
        std::array<Table, 6> all{};
        for (const CodePage p : allCodePages())
            all[int(p)] = buildTable(p);
        return all;
    }();
    return tables[int(page)];
}

const QHash<char16_t, char> &reverseTable(CodePage page)
{
    static const std::array<QHash<char16_t, char>, 6> reverse = [] {
        std::array<QHash<char16_t, char>, 6> all;
        for (const CodePage p : allCodePages()) {
            const Table &t = table(p);
            for (int b = 0; b < 256; ++b)
                if (t[b] != 0xFFFD)
                    all[int(p)].insert(t[b], char(b));
            all[int(p)].insert(u'\t', '\t');
        }
        return all;
    }();
    return reverse[int(page)];
}

// Length of the well-formed UTF-8 sequence at i (no overlong forms, no surrogates), 0 if none.
int utf8Length(const QByteArray &bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return k < bytes.size() ? uchar(bytes[k]) : 0; };
    const uchar b = at(i);
    if (b < 0x80)
        return 1;
    const auto cont = [&](qsizetype k) { return (at(k) & 0xC0) == 0x80; };
    if (b >= 0xC2 && b <= 0xDF)
        return cont(i + 1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const uchar c = at(i + 1);
        if ((b == 0xE0 && c < 0xA0) || (b == 0xED && c > 0x9F))
            return 0;
        return cont(i + 1) && cont(i + 2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const uchar c = at(i + 1);
        if ((b == 0xF0 && c < 0x90) || (b == 0xF4 && c > 0x8F))
            return 0;
        return cont(i + 1) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

template <typename Control>
QString decodeWith(const QByteArray &bytes, CodePage page, Control &&control)
{
    QString text;
    text.reserve(bytes.size());
    const Table &t = table(page);
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto b = uchar(bytes[i]);
        if (b < 0x20 && control(text, bytes, i))
            continue;
        if (page == CodePage::Utf8 && b >= 0x80) {
            const int len = utf8Length(bytes, i);
            if (len == 0) {
                text += QChar(0xFFFD);
            } else {
                text += QString::fromUtf8(bytes.constData() + i, len);
                i += len - 1;
            }
            continue;
        }
        text += QChar(t[b]);
    }
    return text;
}

} // namespace

QList<CodePage> allCodePages()
{
    return {CodePage::Cp437,       CodePage::Cp850,       CodePage::Cp866,
            CodePage::Windows1252, CodePage::Windows1251, CodePage::Utf8};
}

QString codePageName(CodePage page)
{
    switch (page) {
    case CodePage::Cp437:
        return QStringLiteral("CP437");
    case CodePage::Cp850:
        return QStringLiteral("CP850");
    case CodePage::Cp866:
        return QStringLiteral("CP866");
    case CodePage::Windows1252:
        return QStringLiteral("Windows-1252");
    case CodePage::Windows1251:
        return QStringLiteral("Windows-1251");
    case CodePage::Utf8:
        break;
    }
    return QStringLiteral("UTF-8");
}

QString codePageTitle(CodePage page)
{
    switch (page) {
    case CodePage::Cp437:
        return QStringLiteral("CP437 (DOS)");
    case CodePage::Cp850:
        return QStringLiteral("CP850 (DOS Western Europe)");
    case CodePage::Cp866:
        return QStringLiteral("CP866 (DOS Cyrillic)");
    case CodePage::Windows1252:
        return QStringLiteral("Windows-1252 / ISO-8859-1 (Latin)");
    case CodePage::Windows1251:
        return QStringLiteral("Windows-1251 (Cyrillic)");
    case CodePage::Utf8:
        break;
    }
    return QStringLiteral("UTF-8");
}

std::optional<CodePage> codePageFromName(QStringView name)
{
    QString key = name.trimmed().toString().toLower();
    key.remove(QLatin1Char('-')).remove(QLatin1Char('_')).remove(QLatin1Char(' '));
    static const QHash<QString, CodePage> names = {
        {QStringLiteral("cp437"), CodePage::Cp437},
        {QStringLiteral("437"), CodePage::Cp437},
        {QStringLiteral("ibm437"), CodePage::Cp437},
        {QStringLiteral("dos"), CodePage::Cp437},
        {QStringLiteral("cp850"), CodePage::Cp850},
        {QStringLiteral("850"), CodePage::Cp850},
        {QStringLiteral("cp866"), CodePage::Cp866},
        {QStringLiteral("866"), CodePage::Cp866},
        {QStringLiteral("windows1252"), CodePage::Windows1252},
        {QStringLiteral("cp1252"), CodePage::Windows1252},
        {QStringLiteral("1252"), CodePage::Windows1252},
        {QStringLiteral("latin1"), CodePage::Windows1252},
        {QStringLiteral("iso88591"), CodePage::Windows1252},
        {QStringLiteral("windows1251"), CodePage::Windows1251},
        {QStringLiteral("cp1251"), CodePage::Windows1251},
        {QStringLiteral("1251"), CodePage::Windows1251},
        {QStringLiteral("utf8"), CodePage::Utf8},
    };
    const auto it = names.constFind(key);
    if (it == names.constEnd())
        return std::nullopt;
    return *it;
}

bool usesDosFont(CodePage page)
{
    return page == CodePage::Cp437 || page == CodePage::Cp850 || page == CodePage::Cp866;
}

QString decode(const QByteArray &bytes, CodePage page)
{
    return decodeWith(bytes, page, [](QString &text, const QByteArray &in, qsizetype &i) {
        const char b = in[i];
        if (b == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
            text += QLatin1Char('\n');
            ++i;
            return true;
        }
        if (b == '\n' || b == '\t') {
            text += QLatin1Char(b);
            return true;
        }
        return false;
    });
}

QString decodeKeepingControls(const QByteArray &bytes, CodePage page)
{
    return decodeWith(bytes, page, [](QString &text, const QByteArray &in, qsizetype i) {
        text += QChar(char16_t(uchar(in[i])));
        return true;
    });
}

Encoded encode(const QString &text, CodePage page)
{
    Encoded result;
    result.bytes.reserve(text.size() + text.size() / 16);
    const auto &reverse = reverseTable(page);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (u == u'\n' || u == 0x2029 || u == 0x2028) {
            result.bytes.append("\r\n", 2);
            continue;
        }
        const auto it = reverse.constFind(u);
        if (it != reverse.constEnd()) {
            result.bytes.append(*it);
        } else if (page == CodePage::Utf8 && !c.isSurrogate()) {
            result.bytes.append(QString(c).toUtf8());
        } else if (page == CodePage::Utf8 && c.isHighSurrogate() && i + 1 < text.size() &&
                   text.at(i + 1).isLowSurrogate()) {
            result.bytes.append(text.mid(i, 2).toUtf8());
            ++i;
        } else {
            if (!result.unencodable.contains(c))
                result.unencodable += c;
            result.bytes.append('?');
        }
    }
    return result;
}

QString reinterpretCp437(const QString &name, CodePage page)
{
    if (page == CodePage::Cp437)
        return name;
    const Encoded bytes = encode(name, CodePage::Cp437);
    if (!bytes.unencodable.isEmpty() || bytes.bytes.contains('\r'))
        return name;
    bool high = false;
    for (qsizetype i = 0; i < bytes.bytes.size();) {
        const int len = utf8Length(bytes.bytes, i);
        if (len == 0) {
            high = true;
            break;
        }
        i += len;
    }
    if (!high)
        return name; // ASCII, or valid UTF-8: the engine kept those as they are
    const QString reread = decode(bytes.bytes, page);
    return reread.contains(QChar(0xFFFD)) ? name : reread;
}

} // namespace dostext
