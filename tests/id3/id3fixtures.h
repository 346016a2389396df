// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// Raw ID3v1 records for fixture files, built byte by byte.
namespace id3fixtures {

// A field of `width` bytes: `text` followed by `pad` bytes (text longer than the field is cut).
inline QByteArray field(const QByteArray &text, int width, char pad = ' ')
{
    QByteArray bytes = text.left(width);
    bytes.append(QByteArray(width - bytes.size(), pad));
    return bytes;
}

inline QByteArray record(const QByteArray &title, const QByteArray &artist, const QByteArray &album,
                         const QByteArray &year, const QByteArray &comment, unsigned char genre,
                         char pad = ' ')
{
    QByteArray r = "TAG";
    r += field(title, 30, pad);
    r += field(artist, 30, pad);
    r += field(album, 30, pad);
    r += field(year, 4, pad);
    r += field(comment, 30, pad);
    r += char(genre);
    return r;
}

// Stand-in audio: bytes that never contain "TAG".
inline QByteArray audio(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(0x80 | (i * 7 % 0x7f));
    return bytes;
}

} // namespace id3fixtures

#include "tests/support/testsupport.h"

#include <QMap>
#include <QStringList>

namespace id3fixtures {

// A file of silent MPEG frames with an ID3v2 tag that `tool` writes from `args` ("id3v2": 2.3,
// "mid3v2": 2.4 UTF-8, "eyeD3" with --encoding utf16: 2.4 UTF-16).
inline bool makeId3v2(const QString &path, const QString &tool, const QStringList &args)
{
    QByteArray frames;
    for (int i = 0; i < 20; ++i)
        frames += QByteArray("\xff\xfb\x90\x00", 4) + QByteArray(413, '\0');
    testsupport::writeFile(path, frames);
    return testsupport::run(tool, args + QStringList{path}) == 0;
}

// mutagen's reading of the tag: frame id to text, as mid3v2 lists it.
inline QMap<QString, QString> mutagenFrames(const QString &path)
{
    QByteArray out;
    testsupport::run(QStringLiteral("mid3v2"), {QStringLiteral("-l"), path}, &out);
    QMap<QString, QString> frames;
    for (const QString &line : QString::fromUtf8(out).split(QLatin1Char('\n')).mid(1))
        frames.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    return frames;
}

} // namespace id3fixtures
