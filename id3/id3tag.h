// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The fixed table of ID3v1 genre names; the index is the genre number stored in the record.
inline constexpr int GenreCount = 126;
const QStringList &GenreNames();

// The table index 0..125 of `name`, compared without regard to the case of ASCII letters,
// or -1 when the table does not hold it.
qint8 GenreIndex(const QString &name);

// What a record field of `width` bytes stores of `text`: at most `width` characters (a
// surrogate pair counts as one), each outside Latin-1 as "?", a zero character as a space.
struct FieldFit
{
    QString stored;
    bool cut = false;
    bool outsideLatin1 = false;
};
FieldFit fitField(const QString &text, int width);

// The ID3v1 tag: the 128-byte record at the very end of an MP3 file.
//
// The tag holds the record of one file at a time as text. It touches the file only when a
// new FileName is assigned (it then reads the record) and when WriteTag is called; each access
// opens the file, seeks once, moves 128 bytes and closes it again. Text is ISO-8859-1: a
// character outside it is written as "?".
//
// Assigning a text property a value different from the stored one sets Modified; WriteTag
// writes only when Modified is set and clears it after a completed write. Failing file
// operations throw FileError ("Cannot open file %s") to the caller.
//
// An ID3v1.1 record (comment byte 28 zero, byte 29 non-zero) keeps its track number: Track
// is then non-zero and the comment is written cut to 28 bytes, followed by a zero byte and the
// track byte.
class TID3Tag : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE setTitle)
    Q_PROPERTY(QString Artist READ Artist WRITE setArtist)
    Q_PROPERTY(QString Album READ Album WRITE setAlbum)
    Q_PROPERTY(QString Year READ Year WRITE setYear)
    Q_PROPERTY(QString Comment READ Comment WRITE setComment)
    Q_PROPERTY(QString Genre READ Genre WRITE setGenre)
    Q_PROPERTY(int Track READ Track WRITE setTrack)
    Q_PROPERTY(qint64 TagPosition READ TagPosition)
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    Q_PROPERTY(bool Modified READ Modified)

public:
    static constexpr int RecordSize = 128;
    // Characters each field stores; with a track number the comment keeps 28.
    static constexpr int TextWidth = 30;
    static constexpr int YearWidth = 4;
    static constexpr int TrackCommentWidth = 28;

    explicit TID3Tag(QObject *parent = nullptr);

    QString Title() const { return m_title; }
    QString Artist() const { return m_artist; }
    QString Album() const { return m_album; }
    QString Year() const { return m_year; }
    QString Comment() const { return m_comment; }
    // A genre name of the table in the case it was assigned, or "Unknown".
    QString Genre() const { return m_genre; }
    // The ID3v1.1 track number, 0 when the record holds none.
    int Track() const { return m_track; }
    // Where the record starts in the file, or where it will be appended when the file has none.
    qint64 TagPosition() const { return m_tagPosition; }
    QString FileName() const { return m_fileName; }
    bool Modified() const { return m_modified; }
    // Whether the file held a record when it was read, or got one by a write (else the
    // properties hold the blank record).
    bool HasTag() const { return m_hasTag; }

    // Each stores the text unchanged and sets Modified when it differs from the stored one.
    // Nothing is cut here; text longer than its field is cut when written.
    void setTitle(const QString &value);
    void setArtist(const QString &value);
    void setAlbum(const QString &value);
    void setYear(const QString &value);
    void setComment(const QString &value);
    // A name the table holds (any letter case) is stored as given; any other text becomes
    // "Unknown". Either way Modified is set when the text differed from the stored one.
    void setGenre(const QString &value);
    // 0..255; 0 means no track number (the comment then gets all 30 bytes).
    void setTrack(int value);
    // The same name (case-sensitive) does nothing. Another name is stored, and the record is
    // read when a file of that name exists; otherwise the text keeps its previous values.
    void setFileName(const QString &value);

    // Reads the record of FileName into the properties; never changes Modified. A file
    // without a record reads as empty text, genre "Classical" and TagPosition = file size.
    virtual void ReadTag();
    // Writes the whole record at TagPosition when Modified is set; the file is never created.
    // A failure leaves Modified set, so a later call tries again.
    virtual void WriteTag();

private:
    void assign(QString &field, const QString &value);

    QString m_title;
    QString m_artist;
    QString m_album;
    QString m_year;
    QString m_comment;
    QString m_genre;
    int m_track = 0;
    qint64 m_tagPosition = 0;
    QString m_fileName;
    bool m_modified = false;
    bool m_hasTag = false;
};
