// SPDX-License-Identifier: GPL-3.0-or-later
#include "id3/id3tag.h"

#include "common/fileerror.h"

#include "common/pathbytes.h"

#include <QFile>

#include <cerrno>
#include <unistd.h>

namespace {

// clang-format off
const char *const GenreTable[GenreCount] = {
    // 0-9
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal",
    // 10-19
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    // 20-29
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient",
    "Trip-Hop", "Vocal", "Jazz+Funk",
    // 30-39
    "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise",
    // 40-49
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic",
    // 50-59
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta",
    // 60-69
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes",
    // 70-79
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",
    "Rock & Roll", "Hard Rock",
    // 80-89
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass",
    // 90-99
    "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    // 100-109
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass",
    "Primus", "Porn Groove",
    // 110-119
    "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad",
    "Rhythmic Soul", "Freestyle",
    // 120-125
    "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House", "Dance Hall"
};
// clang-format on

const QString UnknownGenre = QStringLiteral("Unknown");

// Record layout: offset and width of each text field, in record order.
struct Field
{
    int offset;
    int width;
};
constexpr Field TitleField{3, TID3Tag::TextWidth};
constexpr Field ArtistField{33, TID3Tag::TextWidth};
constexpr Field AlbumField{63, TID3Tag::TextWidth};
constexpr Field YearField{93, TID3Tag::YearWidth};
constexpr Field CommentField{97, TID3Tag::TextWidth};
constexpr int GenreOffset = 127;
// ID3v1.1: a zero at comment byte 28 followed by a non-zero track byte.
constexpr int TrackMarkerOffset = 125;
constexpr int TrackOffset = 126;

char asciiUpper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char(c - u'a' + 'A') : char(c);
}

bool sameIgnoringAsciiCase(const QString &a, const char *b)
{
    const qsizetype length = qsizetype(qstrlen(b));
    if (a.size() != length)
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = a.at(i).unicode();
        if (c > 0x7f || asciiUpper(c) != asciiUpper(char16_t(uchar(b[i]))))
            return false;
    }
    return true;
}

// A field's text: the bytes before the first zero, without leading and trailing bytes 0..32.
QString readField(const QByteArray &record, Field field)
{
    const char *begin = record.constData() + field.offset;
    const char *end = begin;
    while (end < begin + field.width && *end != '\0')
        ++end;
    while (begin < end && uchar(*begin) <= 32)
        ++begin;
    while (end > begin && uchar(end[-1]) <= 32)
        --end;
    return QString::fromLatin1(begin, end - begin);
}

// Puts what a field of `width` characters stores of `text` into the record, padded with spaces.
void writeField(QByteArray &record, int offset, int width, const QString &text)
{
    const QByteArray bytes = fitField(text, width).stored.toLatin1();
    record.replace(offset, bytes.size(), bytes);
}

} // namespace

const QStringList &GenreNames()
{
    static const QStringList names = [] {
        QStringList list;
        list.reserve(GenreCount);
        for (const char *name : GenreTable)
            list << QString::fromLatin1(name);
        return list;
    }();
    return names;
}

qint8 GenreIndex(const QString &name)
{
    for (int index = 0; index < GenreCount; ++index) {
        if (sameIgnoringAsciiCase(name, GenreTable[index]))
            return qint8(index);
    }
    return -1;
}

FieldFit fitField(const QString &text, int width)
{
    FieldFit fit;
    qsizetype i = 0;
    for (; i < text.size() && fit.stored.size() < width; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            fit.stored += QLatin1Char('?');
            fit.outsideLatin1 = true;
            ++i;
        } else if (c.unicode() == 0) {
            fit.stored += QLatin1Char(' ');
        } else if (c.unicode() > 0xff) {
            fit.stored += QLatin1Char('?');
            fit.outsideLatin1 = true;
        } else {
            fit.stored += c;
        }
    }
    fit.cut = i < text.size();
    return fit;
}

TID3Tag::TID3Tag(QObject *parent) : QObject(parent) {}

void TID3Tag::assign(QString &field, const QString &value)
{
    if (field == value)
        return;
    field = value;
    m_modified = true;
}

void TID3Tag::setTitle(const QString &value)
{
    assign(m_title, value);
}

void TID3Tag::setArtist(const QString &value)
{
    assign(m_artist, value);
}

void TID3Tag::setAlbum(const QString &value)
{
    assign(m_album, value);
}

void TID3Tag::setYear(const QString &value)
{
    assign(m_year, value);
}

void TID3Tag::setComment(const QString &value)
{
    assign(m_comment, value);
}

void TID3Tag::setGenre(const QString &value)
{
    if (m_genre == value)
        return;
    m_genre = GenreIndex(value) >= 0 ? value : UnknownGenre;
    m_modified = true;
}

void TID3Tag::setTrack(int value)
{
    value = qBound(0, value, 255);
    if (m_track == value)
        return;
    m_track = value;
    m_modified = true;
}

void TID3Tag::setFileName(const QString &value)
{
    if (m_fileName == value)
        return;
    m_fileName = value;
    // Only a regular file is read: a missing name keeps the text, and a folder or device
    // never counts as an MP3 file.
    if (pathbytes::isFile(value))
        ReadTag();
}

namespace {

bool writeAt(int fd, const QByteArray &bytes, qint64 position)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done),
                                   off_t(position + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void TID3Tag::ReadTag()
{
    QFile file;
    if (!pathbytes::openFile(file, m_fileName, QIODevice::ReadOnly))
        throw FileError::cannotOpen(m_fileName);
    const qint64 size = file.size();
    qint64 position = size - RecordSize;
    QByteArray record;
    if (position >= 0 && file.seek(position))
        record = file.read(RecordSize);
    file.close();

    if (record.size() != RecordSize || !record.startsWith("TAG")) {
        record = QByteArray(RecordSize, ' ');
        position = size;
    }
    m_tagPosition = position;
    m_hasTag = position < size;
    m_title = readField(record, TitleField);
    m_artist = readField(record, ArtistField);
    m_album = readField(record, AlbumField);
    m_year = readField(record, YearField);
    m_comment = readField(record, CommentField);
    m_track = record.at(TrackMarkerOffset) == '\0' ? uchar(record.at(TrackOffset)) : 0;
    const int genre = uchar(record.at(GenreOffset));
    m_genre = genre < GenreCount ? GenreNames().at(genre) : UnknownGenre;
}

void TID3Tag::WriteTag()
{
    if (!m_modified)
        return;
    QByteArray record(RecordSize, ' ');
    record[0] = 'T';
    record[1] = 'A';
    record[2] = 'G';
    writeField(record, TitleField.offset, TitleField.width, m_title);
    writeField(record, ArtistField.offset, ArtistField.width, m_artist);
    writeField(record, AlbumField.offset, AlbumField.width, m_album);
    writeField(record, YearField.offset, YearField.width, m_year);
    if (m_track != 0) {
        writeField(record, CommentField.offset, TID3Tag::TrackCommentWidth, m_comment);
        record[TrackMarkerOffset] = '\0';
        record[TrackOffset] = char(m_track);
    } else {
        writeField(record, CommentField.offset, CommentField.width, m_comment);
    }
    record[GenreOffset] = char(GenreIndex(m_genre)); // -1 is written as 255

    // A file that vanished since it was read is not created again.
    QFile file;
    if (!pathbytes::openFile(file, m_fileName, QIODevice::ReadWrite))
        throw FileError::cannotOpen(m_fileName);
    // The file may have changed since it was read (another program added, removed or cut
    // a tag). Writing at the old position could then overwrite audio or leave a hole of
    // zeros, so the record goes where the file ends now: over its tag, or appended.
    const qint64 size = file.size();
    qint64 position = size;
    if (size >= RecordSize && file.seek(size - RecordSize) && file.read(3) == "TAG")
        position = size - RecordSize;
    m_tagPosition = position;
    QByteArray old;
    if (file.seek(position))
        old = file.read(size - position);
    // Written unbuffered, so that nothing is left to reach the file after a failure.
    if (!writeAt(file.handle(), record, position)) {
        // A write that failed part-way (a full disk) leaves the file exactly as it was: the
        // appended bytes are cut off again and an overwritten tag gets its old bytes back.
        const int error = errno;
        if (::ftruncate(file.handle(), size) == 0)
            writeAt(file.handle(), old, position);
        errno = error;
        throw FileError::cannotWrite(m_fileName);
    }
    file.close();
    m_modified = false;
    m_hasTag = true;
}
