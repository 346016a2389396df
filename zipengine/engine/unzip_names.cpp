// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/unzip_names.h"

#include <clocale>
#include <locale.h>
#include <wctype.h>

namespace zengine {

namespace {

locale_t unicodeLocale()
{
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        if (!l)
            l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", nullptr);
        return l;
    }();
    return locale;
}

char32_t foldCodePoint(char32_t c)
{
    if (const locale_t l = unicodeLocale()) {
        // Upper then lower joins letters with several lower forms (the long s, the Kelvin
        // sign) to one.
        const wint_t upper = towupper_l(static_cast<wint_t>(c), l);
        return static_cast<char32_t>(towlower_l(upper, l));
    }
    // Without a UTF-8 locale: at least the Latin-1 letters.
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    return c;
}

// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when it is not valid.
size_t decode(std::string_view s, size_t i, char32_t &out)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t length;
    char32_t c;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        c = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        c = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    out = c;
    return length;
}

void encode(char32_t c, std::string &out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string foldName(std::string_view utf8)
{
    std::string out;
    foldNameInto(utf8, out);
    return out;
}

void foldNameInto(std::string_view utf8, std::string &out)
{
    out.clear();
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
            ++i;
            continue;
        }
        char32_t c = 0;
        const size_t length = decode(utf8, i, c);
        if (length == 0) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        encode(foldCodePoint(c), out);
        i += length;
    }
}

TargetPath targetPath(std::string_view name, bool dosMade, bool keepPaths, bool spaceToUnderscore)
{
    std::string text(name);
    if (dosMade)
        for (char &c : text)
            if (c == '\\')
                c = '/';
    TargetPath result;
    // A drive prefix such as "C:".
    if (text.size() >= 2 && text[1] == ':' &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        text.erase(0, 2);
        result.trimmed = true;
    }
    if (!text.empty() && text[0] == '/')
        result.trimmed = true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            result.trimmed = true;
            continue;
        }
        if (spaceToUnderscore)
            for (char &c : part)
                if (c == ' ')
                    c = '_';
        result.parts.push_back(std::move(part));
    }
    if (!keepPaths) {
        // The bare name can never lead anywhere else: nothing worth a warning was dropped.
        if (result.parts.size() > 1)
            result.parts.erase(result.parts.begin(), result.parts.end() - 1);
        result.trimmed = false;
    }
    return result;
}

} // namespace zengine
