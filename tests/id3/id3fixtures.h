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
