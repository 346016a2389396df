// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fast read path: a read-only scanner of the end record and the central directory, read
// with pread, that finds, delivers and lists members without building an entry per member.
//
// It accepts only archives it understands completely and that libzip reads the same way:
// stored or deflated members, no encryption, consistent records, names it decodes as libzip
// does. Whatever else it meets it declines before anything was reported, and the caller then
// takes the libzip path, so the two paths never give different results.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace zengine {

// One central directory record, as far as the read path needs it.
struct CentralRecord
{
    uint64_t recordOffset = 0; // where the record starts in the file
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    uint64_t localOffset = 0;
    std::string_view rawName;     // the stored bytes; valid until the next record is read
    std::string_view unicodeName; // a checked Unicode path extra field, else empty
    bool ascii = false;           // the stored name is all printable ASCII
    uint32_t asciiHash = 0;       // then the hash of its folded form
    bool encrypted() const { return flags & 1; }
};

// What one pass over an archive's directory established. Shared between calls through a
// small cache keyed by the file's identity.
class ScannedArchive
{
public:
    uint64_t fileSize = 0;
    uint64_t directoryOffset = 0;
    uint64_t directorySize = 0;
    uint64_t count = 0;
    // The members' local offsets do not rise in directory order with room for each member's
    // data between them: overlapping members, possibly. Left to the libzip path, which checks.
    bool unordered = false;
    // Every record's DOS date and time is valid (the listing shows them as stored).
    bool validStamps = true;
    // The archive comment: the bytes after the end record, to the end of the file.
    uint64_t commentOffset = 0;
    uint64_t commentLength = 0;
    std::string comment;

    // The directory's bytes, kept when it is small (most archives of a collection): the
    // calls that follow the pass read records from here instead of the file. Null otherwise.
    const char *directoryBytes() const { return m_directory.get(); }

    // Members whose (case-folded) name may equal the folded `name`, in archive order: the
    // caller checks each against the record it reads back.
    std::vector<uint32_t> candidates(std::string_view foldedName) const;
    uint64_t recordOffset(uint32_t member) const { return directoryOffset + m_offsets[member]; }

private:
    friend class DirectoryPass;
    // Each member's record offset and folded-name hash, in archive order (`count` of each).
    // Written in order during the pass and searched by a linear scan of the hashes (400 KB for
    // 100,000 members): a hash table's random accesses would cost more than the pass itself.
    std::unique_ptr<uint32_t[]> m_offsets; // from directoryOffset
    std::unique_ptr<uint32_t[]> m_hashes;
    std::unique_ptr<char[]> m_directory; // directorySize bytes and a few readable ones after
};

// Whether a DOS date and time are valid; the listing shows them as stored, while libzip
// would normalise an invalid one.
bool validDosStamp(uint16_t date, uint16_t time);

// The member's name as the listing and the lookups see it: UTF-8, from the Unicode path
// extra field when it checked out, as stored when flagged or already valid UTF-8, else
// decoded from CP437.
std::string memberName(const CentralRecord &record);
// The same into `out`, whose buffer is reused.
void memberNameInto(const CentralRecord &record, std::string &out);

class ScanFile
{
public:
    // Takes the archive's identity; false when it is not a regular file (the libzip path then
    // says why). The file itself is opened only when something must be read from it: a call
    // answered from an archive already scanned reads nothing.
    bool open(const char *path);
    ~ScanFile();
    ScanFile() = default;
    ScanFile(const ScanFile &) = delete;
    ScanFile &operator=(const ScanFile &) = delete;

    // The archive's directory, from the cache or from one pass over it; null when the scanner
    // declines the archive.
    std::shared_ptr<const ScannedArchive> scan();
    // Reads back one member's record; false when it cannot.
    bool record(const ScannedArchive &archive, uint32_t member, CentralRecord &out);
    // Streams every record in archive order; `visit` returns false to stop. False when a read
    // failed (the file changed since the pass).
    template <typename Visit> bool forEach(const ScannedArchive &archive, Visit visit);

    // Reads and checks a member's data whole: the local header must agree with the record,
    // the data must inflate to exactly the declared size with the declared CRC. False when
    // anything is unusual; `out` then holds nothing useful.
    bool readMember(const CentralRecord &record, std::vector<char> &out);

    // Reads `length` bytes at `offset` whole; false on a short read.
    bool readAt(uint64_t offset, void *data, size_t length);

private:
    // Opens the file on first use; false when it cannot, or when it is no longer the file
    // whose identity was taken.
    bool ensureOpen();
    // Whether the archive's records can be read: kept with it, or from the file.
    bool readable(const ScannedArchive &archive)
    {
        return archive.directoryBytes() || ensureOpen();
    }
    int m_fd = -1;
    std::string m_path;
    struct stat m_stat = {};
    std::vector<char> m_recordBuffer;
};

// Members larger than this are left to the libzip path: the scanner checks a member whole
// before it delivers a byte of it.
constexpr uint64_t ScanMemberLimit = 4 * 1024 * 1024;

// Streams the records of a directory through a buffer filled with pread.
class DirectoryStream
{
public:
    DirectoryStream(int fd, uint64_t offset, uint64_t size);
    // Over directory bytes already in memory (`size` of them at file offset `offset`, with
    // eight readable bytes after them).
    DirectoryStream(const char *bytes, uint64_t offset, uint64_t size);
    // Over the archive's kept directory bytes when it has them, else read from `fd`.
    static DirectoryStream of(const ScannedArchive &archive, int fd, uint64_t offset,
                              uint64_t size);
    // The next record; false at the end or when a record does not parse (`failed` then).
    bool next(CentralRecord &record);
    bool failed() const { return m_failed; }
    bool atEnd() const { return m_left == 0 && m_pos == m_end; }

private:
    // At least `length` bytes at m_pos, reading more as needed.
    bool ensure(size_t length) { return m_end - m_pos >= length || refill(length); }
    bool refill(size_t length);
    int m_fd;
    uint64_t m_fileOffset; // of the next byte not yet in the buffer
    uint64_t m_left;       // directory bytes not yet in the buffer
    std::vector<char> m_buffer;
    const char *m_data; // the buffer's bytes, or the directory's own
    size_t m_pos = 0, m_end = 0;
    bool m_failed = false;
};

template <typename Visit> bool ScanFile::forEach(const ScannedArchive &archive, Visit visit)
{
    if (!readable(archive))
        return false;
    DirectoryStream stream =
        DirectoryStream::of(archive, m_fd, archive.directoryOffset, archive.directorySize);
    CentralRecord record;
    for (uint64_t i = 0; i < archive.count; ++i) {
        if (!stream.next(record))
            return false;
        if (!visit(record))
            return true;
    }
    return true;
}

// How many directory passes were made since the start.
unsigned long directoryPasses();
// Forgets every scanned archive (an archive was changed, or a test wants a fresh pass).
void forgetScannedArchives();

} // namespace zengine
