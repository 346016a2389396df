// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry point of the archive module (libquorilarchive.so), the one place libarchive is
// linked. The archive readers (formats/formats.h) load it from the program's folder the first
// time an archive of another format than ZIP is read; ZIP work and the tag commands never map
// libarchive. Plain C: no C++ type and no exception crosses the boundary.

#include <cstddef>

extern "C" {

struct QuorilArchiveReader; // one archive opened for reading, in archive order

enum QuorilArchiveStatus {
    QuorilArchiveOk = 0,    // done (a warning of the reader included)
    QuorilArchiveEnd = 1,   // no more members
    QuorilArchiveError = 2, // the archive cannot be read on: the reader's error says why
};

// The header of the member the reader has reached. The names are NUL-ended and valid until
// the next call on the reader.
struct QuorilArchiveEntry
{
    const char *utf8Name; // the name as UTF-8; null when the archive's bytes cannot be converted
    const char *name;     // the name's bytes as stored; may be null
    long long size;
    bool sizeKnown; // the archive stores the size (a stream may not)
    long long mtime;
    bool mtimeKnown;
    unsigned fileType; // the type bits of a file mode (S_IFREG, S_IFDIR, ...); 0 when unknown
    bool hardLink;
};

struct QuorilArchiveFunctions
{
    // Opens the archive on `fd`, a regular file the caller keeps open and closes after close().
    // `*reader` is null only when out of memory; after an error it still gives the reason, and
    // is closed like any other.
    int (*open)(int fd, QuorilArchiveReader **reader);
    int (*next)(QuorilArchiveReader *reader, QuorilArchiveEntry *entry);
    int (*skip)(QuorilArchiveReader *reader); // past the data of the current member
    // The next bytes of the current member: a count, 0 at its end, -1 when it cannot be read.
    long long (*read)(QuorilArchiveReader *reader, char *buffer, size_t size);
    // Why the last call failed, in the reader's words (local encoding); null when it gave none.
    const char *(*error)(QuorilArchiveReader *reader);
    void (*close)(QuorilArchiveReader *reader);
};

using QuorilArchiveFunctionsFn = const QuorilArchiveFunctions *(*)();
#define QUORIL_ARCHIVE_SYMBOL "quorilArchiveFunctions"
#define QUORIL_ARCHIVE_LIBRARY "libquorilarchive.so"
}
