// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DOS date and time fields of an archive's members exactly as stored. libzip hands out only
// a time_t made with mktime(), which moves a time in a daylight-saving gap by an hour and turns
// an invalid date into another date; a listing shows the fields themselves. Read in the same
// pass: what else of the central directory libzip does not hand out (flags, offsets, the
// extended timestamp) and where the archive really starts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zengine {

struct DosTime
{
    uint16_t date = 0; // year-1980 << 9 | month << 5 | day
    uint16_t time = 0; // hour << 11 | minute << 5 | seconds / 2

    unsigned year() const { return 1980u + (date >> 9); }
    unsigned month() const { return (date >> 5) & 0x0F; }
    unsigned day() const { return date & 0x1F; }
    unsigned hour() const { return time >> 11; }
    unsigned minute() const { return (time >> 5) & 0x3F; }
};

// What the read path needs of a central record beyond what libzip hands out.
struct MemberFacts
{
    DosTime stamp;
    uint16_t flags = 0;       // general purpose flags
    uint64_t localOffset = 0; // from the start of the archive proper
    uint64_t compressedSize = 0;
    bool hasUnixTime = false; // an extended timestamp field (0x5455) with a modification time
    int64_t unixTime = 0;     // then that time, in seconds since 1970 (UTC)
};

// How libzip is shown an archive.
enum class Shown {
    AsStored,
    // The directory reaches right up to the end record and its last bytes (a member's name,
    // say) look like a Zip64 locator, which libzip would take for one: it is shown the file
    // followed by a copy of the end record with its comment, and settles on the copy, whose
    // 20 bytes in front are the real end record.
    EndRecordAgain,
    // libzip refused the directory as stored (malformed extra-field bytes, a comment that runs
    // past the end of the file, a Zip64 field short of a value) although every record can be
    // followed: it is shown the members' local headers and data followed by a cleaned copy of
    // the directory and end record (see cleaned_directory.h).
    CleanedDirectory,
};

struct DirectoryFacts
{
    // Bytes in front of the archive that its offsets do not count (a self-extractor stub glued
    // on without adjusting them, stray bytes): libzip reads the archive from there.
    uint64_t leadingBytes = 0;
    // Every central record, in directory order (the order of libzip's indices). Empty when
    // the directory cannot be read plainly (damaged, or laid out in a way this reader does
    // not follow): callers then fall back on what libzip says.
    std::vector<MemberFacts> members;
    // Two members' data ranges overlap: several records pointing into one member's data.
    bool overlapping = false;
    Shown shown = Shown::AsStored;
    // Unless shown as stored: libzip reads the first `tailAt` bytes of the archive proper and
    // then `tail` instead of the rest of the file.
    uint64_t tailAt = 0;
    std::string tail;
};

DirectoryFacts readDirectoryFacts(int fd);

// The pieces of the reader above that the cleaned reading of a directory shares.

inline uint16_t u16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t u32(const unsigned char *p)
{
    return static_cast<uint32_t>(u16(p)) | static_cast<uint32_t>(u16(p + 2)) << 16;
}

inline uint64_t u64(const unsigned char *p)
{
    return static_cast<uint64_t>(u32(p)) | static_cast<uint64_t>(u32(p + 4)) << 32;
}

constexpr size_t CentralHeaderSize = 46;
constexpr size_t LocalHeaderSize = 30;

// Reads `length` bytes at `offset` whole; false on a short read.
bool readAt(int fd, uint64_t offset, size_t length, std::vector<unsigned char> &out);

// Where an end record puts the central directory.
struct DirectoryPlace
{
    uint64_t entries = 0;
    uint64_t size = 0;
    uint64_t offset = 0;         // from the start of the archive proper
    uint64_t leading = 0;        // bytes in front that the offsets do not count
    uint64_t directoryEnd = 0;   // where the directory must end in the file: at the (Zip64) end
    bool zip64 = false;          // the place came from a Zip64 end record
    bool otherDisks = false;     // the records name a disk other than the first
    std::string comment;         // the archive comment as far as the file holds it
    std::string falseLocatorEnd; // see Shown::EndRecordAgain
};

// The end record nearest the end of the file whose comment reaches exactly to the end, as
// archivers write it (with `anyComment`, also one whose comment runs past the end or stops short of
// it); then its Zip64 counterpart when the classic fields overflow.
bool locateDirectory(int fd, uint64_t fileSize, DirectoryPlace &dir, bool anyComment);

// The Zip64 sizes and offset and the extended timestamp of one record's extra fields.
void readExtraFields(const unsigned char *extra, size_t length, MemberFacts &facts, uint64_t &size);
// What the listing and extraction need of the central record at `record` (whose name and
// extra block follow it).
MemberFacts recordFacts(const unsigned char *record);

// Whether the data ranges of two members overlap. A member reaches at least from its local
// header over the header's fixed part and its compressed data.
bool membersOverlap(std::vector<MemberFacts> members);

} // namespace zengine
