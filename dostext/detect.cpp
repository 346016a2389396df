// SPDX-License-Identifier: GPL-3.0-or-later
#include "dostext/codepage.h"

#include <QChar>

#include <array>
#include <vector>

namespace dostext {

namespace {

// The bytes without ANSI escape sequences: their final letters would otherwise pass for
// letters next to the text's own.
QByteArray withoutEscapes(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            i += 2;
            while (i < bytes.size() && !(uchar(bytes[i]) >= 0x40 && uchar(bytes[i]) <= 0x7E))
                ++i;
            continue;
        }
        out += bytes[i];
    }
    return out;
}

bool isAsciiLetter(uchar b)
{
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// CP437's box pieces, blocks and shades.
bool isDosArt(uchar b)
{
    return b >= 0xB0 && b <= 0xDF;
}

// What the high bytes of a text say for one code page: letters that sit in words the way the
// code page's language writes them, and bytes that speak against it.
struct Score
{
    int fit = 0;
    int bad = 0;
    int lower = 0;
    int upper = 0;
};

bool isTextLetter(char16_t c)
{
    // Ordinal indicators and the micro sign are letters to Unicode but signs in use; in
    // CP437 they are the box pieces ╢ ║ ╡.
    return c != 0xAA && c != 0xBA && c != 0xB5 && QChar(c).isLetter();
}

bool isLetterIn(CodePage page, uchar b, const QString &glyphs)
{
    if (b < 0x80)
        return isAsciiLetter(b);
    if (page == CodePage::Cp437) // the accented letters and sharp s; the Greek are signs
        return b <= 0xA5 || b == 0xE1;
    return isTextLetter(glyphs.at(b).unicode());
}

// One word: a run [begin, end) of bytes that are letters in the code page.
void scoreWord(const QByteArray &s, qsizetype begin, qsizetype end, bool cyrillic,
               const QString &glyphs, std::vector<char> &fitting, Score &score)
{
    int ascii = 0, high = 0;
    bool implausible = false;
    QChar previous;
    for (qsizetype i = begin; i < end; ++i) {
        const auto b = uchar(s[i]);
        const QChar c = glyphs.at(b);
        b < 0x80 ? ++ascii : ++high;
        // Upper case after lower case, or one high byte thrice in a row, is not a word.
        if (!previous.isNull() && previous.isLower() && c.isUpper())
            implausible = true;
        if (b >= 0x80 && i >= begin + 2 && s[i - 1] == s[i] && s[i - 2] == s[i])
            implausible = true;
        previous = c;
    }
    if (high == 0)
        return;
    bool fits = false;
    if (!implausible) {
        if (cyrillic) {
            fits = ascii == 0 && high >= 2;
            implausible = ascii > 0;
        } else {
            fits = ascii >= 1 && high <= ascii + 1;
            implausible = ascii == 0 && high >= 2;
        }
    }
    for (qsizetype i = begin; i < end; ++i) {
        const auto b = uchar(s[i]);
        if (b < 0x80)
            continue;
        if (fits) {
            ++score.fit;
            fitting[size_t(i)] = 1;
            glyphs.at(b).isLower() ? ++score.lower : ++score.upper;
        } else if (implausible) {
            ++score.bad;
        }
    }
}

// Every byte's character in the code page, control bytes as themselves.
const QString &glyphsOf(CodePage page)
{
    static const std::array<QString, 6> glyphs = [] {
        QByteArray all(256, 0);
        for (int b = 0; b < 256; ++b)
            all[b] = char(b);
        std::array<QString, 6> each;
        for (const CodePage p : allCodePages())
            each[size_t(p)] = decodeKeepingControls(all, p);
        return each;
    }();
    return glyphs[size_t(page)];
}

Score scorePage(const QByteArray &s, CodePage page)
{
    const QString &glyphs = glyphsOf(page);
    const bool cyrillic = page == CodePage::Cp866 || page == CodePage::Windows1251;
    Score score;
    std::vector<char> fitting(size_t(s.size()), 0);
    qsizetype begin = -1;
    for (qsizetype i = 0; i <= s.size(); ++i) {
        const bool letter = i < s.size() && isLetterIn(page, uchar(s[i]), glyphs);
        if (letter && begin < 0)
            begin = i;
        if (!letter && begin >= 0) {
            scoreWord(s, begin, i, cyrillic, glyphs, fitting, score);
            begin = -1;
        }
    }
    if (page == CodePage::Cp437)
        return score;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const auto b = uchar(s[i]);
        if (b < 0x80)
            continue;
        const char16_t c = glyphs.at(b).unicode();
        if (c >= 0x80 && c <= 0x9F)
            ++score.bad; // a byte the code page leaves unassigned
        // Box drawing that connects reads as DOS art, unless the code page draws it too.
        else if (!usesDosFont(page) && isDosArt(b) && !fitting[size_t(i)] &&
                 ((i > 0 && isDosArt(uchar(s[i - 1]))) ||
                  (i + 1 < s.size() && isDosArt(uchar(s[i + 1])))))
            ++score.bad;
    }
    return score;
}

// Valid UTF-8 that holds at least one multi-byte character and no C1 control.
bool isMultiByteUtf8(const QByteArray &s)
{
    bool multi = false;
    for (qsizetype i = 0; i < s.size();) {
        const auto b = uchar(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const QString one = decode(s.mid(i, 4), CodePage::Utf8).left(1);
        if (one.isEmpty() || one.at(0) == QChar(0xFFFD) ||
            (one.at(0).unicode() >= 0x80 && one.at(0).unicode() <= 0x9F))
            return false;
        const int len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        i += len;
        multi = true;
    }
    return multi;
}

} // namespace

Detection detect(const QByteArray &bytes)
{
    const QByteArray s = withoutEscapes(bytes);
    int highBytes = 0;
    for (const char c : s)
        highBytes += uchar(c) >= 0x80;
    if (highBytes == 0)
        return {CodePage::Cp437, QStringLiteral("only ASCII characters: the DOS default")};
    // Control bytes other than line breaks, tabs and the colour codes' lead bytes mean data,
    // not text: nothing to be certain about.
    int controls = 0;
    for (const char c : s)
        controls += uchar(c) < 0x20 && !QByteArrayView("\t\n\r\x01\x1a").contains(c);
    if (s.contains('\0') || controls * 100 > s.size())
        return {CodePage::Cp437, QStringLiteral("binary data: the DOS default")};
    if (isMultiByteUtf8(s))
        return {CodePage::Utf8, QStringLiteral("valid multi-byte UTF-8")};

    const Score dos = scorePage(s, CodePage::Cp437);
    CodePage best = CodePage::Cp437;
    Score bestScore;
    bool tie = false;
    for (const CodePage page :
         {CodePage::Windows1252, CodePage::Windows1251, CodePage::Cp866, CodePage::Cp850}) {
        const Score score = scorePage(s, page);
        const bool cyrillic = page == CodePage::Cp866 || page == CodePage::Windows1251;
        // A few stray bytes may stand against a clear majority; Cyrillic prose is mostly
        // lower case, which block art read as Cyrillic never is.
        if (score.fit == 0 || score.bad * 10 > score.fit || score.fit <= dos.fit ||
            (cyrillic && score.lower < 2 * score.upper))
            continue;
        if (score.fit == bestScore.fit)
            tie = true;
        if (score.fit > bestScore.fit) {
            best = page;
            bestScore = score;
            tie = false;
        }
    }
    if (best == CodePage::Cp437 || tie)
        return {CodePage::Cp437,
                QStringLiteral("DOS text, the default: its high bytes fit no other code page "
                               "with certainty")};
    return {best, QStringLiteral("%1 high bytes are letters inside words in %2, and nothing "
                                 "reads as DOS box drawing")
                      .arg(bestScore.fit)
                      .arg(codePageName(best))};
}

} // namespace dostext
