// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DOS date and time fields of an archive's members exactly as stored. libzip hands out only
// a time_t made with mktime(), which moves a time in a daylight-saving gap by an hour and turns
// an invalid date into another date; a listing shows the fields themselves. Read in the same
// pass: what else of the central directory libzip does not hand out (flags, offsets, the
// extended timestamp) and where the archive really starts.

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
    // The end record with its comment, when the directory reaches right up to it and its last
    // bytes (a member's name, say) look like a Zip64 locator: libzip would take them for one.
    std::string falseLocatorEnd;
};

DirectoryFacts readDirectoryFacts(int fd);

} // namespace zengine
