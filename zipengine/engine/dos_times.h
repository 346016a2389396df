#pragma once
// The DOS date and time fields of an archive's members exactly as stored. libzip hands out only
// a time_t made with mktime(), which moves a time in a daylight-saving gap by an hour and turns
// an invalid date into another date; a listing shows the fields themselves.

#include <cstdint>
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

// The fields of every central directory entry of the archive open as `fd`, in directory order
// (the order of libzip's indices). Empty when the directory cannot be read plainly (damaged,
// or laid out in a way this reader does not follow): callers then fall back on libzip's time.
std::vector<DosTime> readDosTimes(int fd);

} // namespace zengine
