// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Byte-level text decoding shared by file names and the settings files written on Windows.
namespace textcodec {

// The length of the well-formed UTF-8 sequence at bytes[i] (1..4), or 0 when the byte there
// does not start one: overlong forms, encoded surrogates and values above U+10FFFF are not
// UTF-8. `codePoint` receives the value decoded.
int utf8Sequence(QByteArrayView bytes, qsizetype i, char32_t &codePoint);

bool isValidUtf8(QByteArrayView bytes);

// The Windows-1252 character of a byte. The five bytes that code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the C1 control of the same value, as Latin-1 does.
char16_t windows1252(uchar byte);

// A text file written on Windows, line by line: a line that is valid UTF-8 is read as UTF-8,
// any other line as Windows-1252, so one stray byte spoils neither the rest of the file nor
// the rest of its line. A UTF-8 byte order mark at the start is dropped. Line ends are kept.
QString decodeLines(QByteArrayView bytes);

} // namespace textcodec
