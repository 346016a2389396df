// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The user's own description member names, kept one per line in "quoril2k.ext". An entry is
// stored exactly as typed (blanks and letter case kept); it may hold the token "<filename>",
// which the description lookup replaces by the archive's base name.
namespace CustomList {

inline constexpr const char FileName[] = "quoril2k.ext";

// "quoril2k.ext" in the working folder current at the moment of the call.
QString currentPath();

// Appends every non-empty line of the file (CR LF or LF line ends) to `list`, as it reads.
// A missing file appends nothing. A file that exists but cannot be read throws FileError;
// the lines read before the failure stay appended.
void appendFrom(const QString &path, QStringList &list);

// Writes the non-empty entries, one per line ended by CR LF. The new list goes to a new file
// beside the old one, which is then renamed into place: a failed write leaves the previous
// list intact. Throws FileError("Cannot create file <path>") on failure.
void write(const QString &path, const QStringList &entries);

} // namespace CustomList

// The list in a file, for callers that only need the names (the command-line tool).
// A missing file gives an empty list; an unreadable one throws FileError.
QStringList readCustomList(const QString &path);
