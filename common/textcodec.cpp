// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/textcodec.h"

namespace textcodec {

namespace {

// 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

void appendLine(QString &out, QByteArrayView line)
{
    if (isValidUtf8(line)) {
        out.append(QString::fromUtf8(line));
        return;
    }
    for (const char c : line)
        out.append(QChar(windows1252(uchar(c))));
}

} // namespace

int utf8Sequence(QByteArrayView bytes, qsizetype i, char32_t &codePoint)
{
    const auto at = [&](qsizetype k) { return uchar(bytes[i + k]); };
    const uchar lead = at(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    int length;
    char32_t value;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((at(k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (at(k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

bool isValidUtf8(QByteArrayView bytes)
{
    char32_t ignored;
    for (qsizetype i = 0; i < bytes.size();) {
        if (uchar(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const int length = utf8Sequence(bytes, i, ignored);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

char16_t windows1252(uchar byte)
{
    return byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : char16_t(byte);
}

QString decodeLines(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QString out;
    out.reserve(bytes.size());
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        appendLine(out, bytes.sliced(start, end - start));
        start = end;
    }
    return out;
}

} // namespace textcodec
