// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

// The file-system side of the folder tree: entries of a folder read with their directory
// entry types, the attributes the tree consults, names, path arithmetic and the natural name
// order. Identities are absolute paths.
namespace shellfs {

struct Entry
{
    QString name;        // last component (common/pathbytes.h: bytes kept)
    QString path;        // absolute path
    bool isDir = false;  // a folder, or a symbolic link to one
    bool isLink = false; // a symbolic link
    bool hidden = false; // the name starts with "."
};

enum EnumFlag { EnumFolders = 0x1, EnumNonFolders = 0x2, EnumHidden = 0x4 };

// Reads the entries of `dir`, handing each to `sink` until it returns false. Folders, other
// entries and hidden entries are delivered as `flags` asks. The entry type comes from the
// directory entry itself; only links and entries of unknown type cost a stat. Returns false
// when the folder cannot be opened.
bool enumerate(const QString &dir, int flags, const std::function<bool(const Entry &)> &sink);

// Joins a folder path and a name ("/" + "usr" gives "/usr").
QString join(const QString &dir, const QString &name);

// Whether `path` lies at or below `prefix`, component-wise ("/home/a" is under "/home",
// "/homework" is not; everything is under "/").
bool isUnder(const QString &path, const QString &prefix);

// The components of `path` below `prefix` (empty when equal); `path` must be under `prefix`.
QStringList componentsBelow(const QString &path, const QString &prefix);

// The folder a path selects: made absolute against the current folder and cleaned; a file
// resolves to its folder and a missing folder to its nearest existing ancestor. Empty for an
// empty path.
QString resolveFolder(const QString &path);

// Case-insensitive natural order: digit runs compare by value ("file2" before "file10").
int naturalCompare(const QString &a, const QString &b);

// Size and modification time of an entry (following links); -1 / invalid when unreadable.
qint64 entrySize(const QString &path);
QDateTime entryModified(const QString &path);

} // namespace shellfs
