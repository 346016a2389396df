// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class QFile;

// Puts `contents` in place of the file at `path` through a new file beside it that is renamed
// into place; false when that fails, the old file being left as it was.
bool replaceFile(const QString &path, const QByteArray &contents);

// An INI file read with the usual profile conventions: a "[name]" line opens a section, a
// "key=value" line holds one value, section and key names are matched without regard to letter
// case, blanks around "=" are dropped, lines starting with ";" are comments, a value enclosed in
// matching quotes loses them, and at most MaxValueLength characters of a value are used.
// A missing or unreadable file reads as empty; a missing section or key yields the default.
// Reading takes time and memory in proportion to the file, which may be at most MaxFileSize.
//
// QSettings is not used: it matches names case-sensitively on Linux and turns commas into lists.
class Profile
{
public:
    static constexpr int MaxValueLength = 1023;
    // Far more than any settings file, language file or custom list holds.
    static constexpr qint64 MaxFileSize = 2 * 1024 * 1024;

    // Reads the whole file now; later changes to the file are not seen. Throws
    // FileError("Cannot open file <path>") for a file larger than MaxFileSize.
    explicit Profile(const QString &path);

    QString value(const QString &section, const QString &key,
                  const QString &defaultValue = QString()) const;
    // A value that names a file, with the bytes the file holds (common/pathbytes.h), whatever
    // the encoding of the rest of the file.
    QString nameValue(const QString &section, const QString &key,
                      const QString &defaultValue = QString()) const;
    bool contains(const QString &section, const QString &key) const;

    // Sets one key, keeping every other line of the file (comments, other sections, order).
    // The value is written as its bytes (pathbytes::encode), so a file name keeps its own.
    // A missing section is appended at the end. The new contents go to a new file beside the
    // old one, which is then renamed into place, so a failed write leaves the old file intact.
    // Throws FileError("Unable to write to <path>") when the file cannot be written.
    static void write(const QString &path, const QString &section, const QString &key,
                      const QString &value);

    // Text of a settings or language file, line by line: UTF-8 where a line is valid UTF-8,
    // Windows-1252 otherwise.
    static QString decode(const QByteArray &bytes);

    // Opens a file of at most MaxFileSize for reading; false when it does not exist or is not
    // a regular file. Throws FileError("Cannot open file <path>") for a larger one.
    static bool openBounded(QFile &file, const QString &path);

private:
    struct Entry
    {
        QString text;
        QString name; // null when it equals text
    };
    const Entry *find(const QString &section, const QString &key) const;

    // Folded section name + "\n" + folded key name -> value; the first occurrence of a key
    // wins. One table for all sections keeps a file of many small sections small in memory.
    QHash<QString, Entry> m_values;
};
