#include "zipengine/engine/dos_times.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zengine {

namespace {

constexpr size_t EndRecordSize = 22;
constexpr size_t MaxComment = 0xFFFF;
constexpr size_t CentralHeaderSize = 46;

uint16_t u16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t u32(const unsigned char *p)
{
    return static_cast<uint32_t>(u16(p)) | static_cast<uint32_t>(u16(p + 2)) << 16;
}

uint64_t u64(const unsigned char *p)
{
    return static_cast<uint64_t>(u32(p)) | static_cast<uint64_t>(u32(p + 4)) << 32;
}

bool readAt(int fd, uint64_t offset, size_t length, std::vector<unsigned char> &out)
{
    out.resize(length);
    size_t done = 0;
    while (done < length) {
        const ssize_t n =
            pread(fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

struct Directory
{
    uint64_t entries = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
};

// The end record nearest the end of the file whose comment reaches exactly to the end, as
// archivers write it; then its Zip64 counterpart when the classic fields overflow.
bool findDirectory(int fd, uint64_t fileSize, Directory &dir)
{
    if (fileSize < EndRecordSize)
        return false;
    const uint64_t tail = std::min<uint64_t>(fileSize, EndRecordSize + MaxComment);
    std::vector<unsigned char> buffer;
    if (!readAt(fd, fileSize - tail, static_cast<size_t>(tail), buffer))
        return false;
    for (size_t at = buffer.size() - EndRecordSize + 1; at-- > 0;) {
        const unsigned char *p = buffer.data() + at;
        if (std::memcmp(p, "PK\5\6", 4) != 0 || at + EndRecordSize + u16(p + 20) != buffer.size())
            continue;
        dir.entries = u16(p + 10);
        dir.size = u32(p + 12);
        dir.offset = u32(p + 16);
        if (dir.entries != 0xFFFF && dir.size != 0xFFFFFFFF && dir.offset != 0xFFFFFFFF)
            return true;
        const uint64_t endAt = fileSize - tail + at;
        std::vector<unsigned char> record;
        if (endAt < 20 || !readAt(fd, endAt - 20, 20, record) ||
            std::memcmp(record.data(), "PK\6\7", 4) != 0 ||
            !readAt(fd, u64(record.data() + 8), 56, record) ||
            std::memcmp(record.data(), "PK\6\6", 4) != 0)
            return false;
        dir.entries = u64(record.data() + 32);
        dir.size = u64(record.data() + 40);
        dir.offset = u64(record.data() + 48);
        return true;
    }
    return false;
}

} // namespace

std::vector<DosTime> readDosTimes(int fd)
{
    struct stat st;
    Directory dir;
    if (fstat(fd, &st) != 0 || !findDirectory(fd, static_cast<uint64_t>(st.st_size), dir))
        return {};
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    if (dir.offset > fileSize || dir.size > fileSize - dir.offset ||
        dir.entries > dir.size / CentralHeaderSize)
        return {};
    std::vector<unsigned char> data;
    if (!readAt(fd, dir.offset, static_cast<size_t>(dir.size), data))
        return {};
    std::vector<DosTime> times;
    times.reserve(static_cast<size_t>(dir.entries));
    size_t at = 0;
    for (uint64_t i = 0; i < dir.entries; ++i) {
        if (data.size() - at < CentralHeaderSize)
            return {};
        const unsigned char *p = data.data() + at;
        if (std::memcmp(p, "PK\1\2", 4) != 0)
            return {};
        times.push_back(DosTime{u16(p + 14), u16(p + 12)});
        at += CentralHeaderSize + u16(p + 28) + u16(p + 30) + u16(p + 32);
        if (at > data.size())
            return {};
    }
    return times;
}

} // namespace zengine
