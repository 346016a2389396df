// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"

// Reading one file's entry with the program's own lookup and tag record.
namespace catalog {

struct ReadOptions
{
    QStringList customList;
    // Stands for the custom list: an archive read under another list is read again.
    qint64 planKey = 0;
    static ReadOptions forCustomList(const QStringList &customList);
};

// Reads an archive's member count and Auto select description, or an MP3 file's tag. Never
// throws: a file that cannot be read gets its reason in `error`. Size, time and inode are left
// to the caller, who took them before reading.
Entry readFile(const QByteArray &path, Kind kind, const ReadOptions &options);

// The most description text the index keeps of one entry, in UTF-16 units.
constexpr qsizetype DescriptionTextLimit = 64 * 1024;
// Cuts a longer description to the limit, and says so in the detail "truncated".
void limitDescription(Entry &entry);

} // namespace catalog
