// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/module.h"

#include <archive.h>
#include <archive_entry.h>

#include <initializer_list>
#include <new>

// The opaque reader is libarchive's own archive.
struct QuorilArchiveReader
{
    archive *a = nullptr;
};

namespace {

constexpr size_t BlockSize = 64 * 1024;

// Reads the formats of the readers: never ZIP (the engine's), never "raw" (a compressed file
// that holds no archive is not one).
int openReader(int fd, QuorilArchiveReader **out)
{
    *out = nullptr;
    auto *reader = new (std::nothrow) QuorilArchiveReader;
    if (!reader)
        return QuorilArchiveError;
    reader->a = archive_read_new();
    if (!reader->a) {
        delete reader;
        return QuorilArchiveError;
    }
    *out = reader;
    archive_read_support_filter_all(reader->a);
    for (int (*support)(archive *) :
         {archive_read_support_format_lha, archive_read_support_format_rar,
          archive_read_support_format_rar5, archive_read_support_format_7zip,
          archive_read_support_format_cab, archive_read_support_format_tar,
          archive_read_support_format_iso9660, archive_read_support_format_cpio})
        support(reader->a);
    return archive_read_open_fd(reader->a, fd, BlockSize) == ARCHIVE_OK ? QuorilArchiveOk
                                                                        : QuorilArchiveError;
}

int nextEntry(QuorilArchiveReader *reader, QuorilArchiveEntry *out)
{
    archive_entry *entry = nullptr;
    const int rc = archive_read_next_header(reader->a, &entry);
    if (rc == ARCHIVE_EOF)
        return QuorilArchiveEnd;
    if (rc < ARCHIVE_WARN)
        return QuorilArchiveError;
    out->utf8Name = archive_entry_pathname_utf8(entry);
    out->name = archive_entry_pathname(entry);
    out->sizeKnown = archive_entry_size_is_set(entry) != 0;
    out->size = out->sizeKnown ? archive_entry_size(entry) : 0;
    out->mtimeKnown = archive_entry_mtime_is_set(entry) != 0;
    out->mtime = out->mtimeKnown ? archive_entry_mtime(entry) : 0;
    out->fileType = archive_entry_filetype(entry);
    out->hardLink = archive_entry_hardlink(entry) != nullptr;
    return QuorilArchiveOk;
}

int skipData(QuorilArchiveReader *reader)
{
    return archive_read_data_skip(reader->a) < ARCHIVE_WARN ? QuorilArchiveError : QuorilArchiveOk;
}

long long readData(QuorilArchiveReader *reader, char *buffer, size_t size)
{
    const la_ssize_t n = archive_read_data(reader->a, buffer, size);
    return n < 0 ? -1 : n;
}

const char *errorText(QuorilArchiveReader *reader)
{
    return archive_error_string(reader->a);
}

void closeReader(QuorilArchiveReader *reader)
{
    archive_read_free(reader->a);
    delete reader;
}

const QuorilArchiveFunctions Functions{openReader, nextEntry, skipData,
                                       readData,   errorText, closeReader};

} // namespace

extern "C" __attribute__((visibility("default"))) const QuorilArchiveFunctions *
quorilArchiveFunctions()
{
    return &Functions;
}
