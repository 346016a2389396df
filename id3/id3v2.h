// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The ID3v2 tag at the start of an MP3 file (versions 2.2, 2.3 and 2.4, with
// unsynchronisation, extended headers and Latin-1, UTF-16 or UTF-8 text), read only.
//
// Nothing here ever writes: the tag's bytes are read by our own code and parsed in memory, so
// the parser never holds the file. The ID3v1 record (id3/id3tag.h) stays the only tag the
// program writes.
namespace id3v2 {

// The fields a tag pane shows, as the tag holds them. A frame with several values (2.4) gives
// them joined with " / "; a genre given by its ID3v1 number gives the name. Empty where the
// tag has no such frame.
struct Fields
{
    QString version; // "2.2", "2.3" or "2.4"
    QString title, artist, album;
    QString year; // the recording time as written: "1999" or "1999-05-12"
    QString genre;
    QString track; // as written: "3" or "3/12"
    QString comment;
};

// The tag of `path`, or nothing when the file does not begin with one (a tag after other
// bytes, or only at the end, is not looked for). Throws FileError when the file cannot be
// opened; a damaged tag gives what could be read of it.
std::optional<Fields> read(const QString &path);

// The year of a recording time: its leading four digits, or the text itself when it does not
// begin with four digits.
QString yearOf(const QString &time);
// The track number of "3" or "3/12", 0 when there is none or it does not fit a byte.
int trackOf(const QString &track);

// The ID3v1 texts of a tag, not yet cut to the fields.
struct Id3v1Texts
{
    QString title, artist, album, year, genre, comment;
    int track = 0;
};

// The ID3v2 values for the ID3v1 fields: the year of the recording time, the first genre the
// ID3v1 table holds (else the first genre), the track number. A field the ID3v2 tag leaves
// empty stays empty, and copying keeps what the ID3v1 field holds there.
Id3v1Texts forId3v1(const Fields &v2);

// The labels ("Title", "Artist", ...) of the fields whose text, as the ID3v1 record would store
// it, differs from the ID3v2 tag's. Fields the ID3v2 tag leaves empty are not compared, nor
// genres the ID3v1 table cannot name.
QStringList differences(const Id3v1Texts &v1, const Fields &v2);

} // namespace id3v2
