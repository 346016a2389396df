// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Archives whose central directory libzip refuses as inconsistent, although every record can
// be followed as the classic unzip follows it: extra-field bytes that do not form a field (a
// trailing piece shorter than a field header, a header whose length runs past the block), an
// archive comment whose length runs past the end of the file, a Zip64 field whose own length
// is short of the values its record marks with 0xFFFFFFFF. The engine reads such a directory
// itself and writes a cleaned copy: malformed trailing extra-field bytes left out, the comment
// as far as the file goes, each Zip64 value taken where the record marks it and its extra
// block holds it (a marked value that the block does not hold stays refused), every other
// value from its 32-bit field. libzip is then shown the members' local headers and data as
// stored, followed by that copy and a new end record; sizes and CRCs are still checked when a
// member is read. Such an archive is read, never written back.

#include "zipengine/engine/dos_times.h"

namespace zengine {

// Reads the directory of the archive open on `fd` tolerantly. True, with `facts` filled in for
// Shown::CleanedDirectory, when every record could be followed and names a local header in
// front of the directory whose data ends there too; false when anything stays doubtful (the
// archive is then refused as before).
bool readCleanedDirectory(int fd, DirectoryFacts &facts);

} // namespace zengine
