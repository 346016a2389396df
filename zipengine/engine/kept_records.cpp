// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/kept_records.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace zengine {

namespace {

constexpr uint32_t LocalSignature = 0x04034b50;
constexpr uint32_t CentralSignature = 0x02014b50;
constexpr uint32_t EndSignature = 0x06054b50;
constexpr uint32_t Zip64EndSignature = 0x06064b50;
constexpr uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr uint32_t DescriptorSignature = 0x08074b50;
constexpr size_t CentralFixed = 46;
constexpr size_t EndFixed = 22;
constexpr uint32_t Marker32 = 0xFFFFFFFF;

uint64_t get(const char *p, int bytes)
{
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(p[i]);
    return value;
}

void put(std::string &out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void setAt(std::string &s, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

bool readAt(int fd, uint64_t offset, char *data, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd, data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The Zip64 extended information field of a central record: where its data starts and how
// long it is, or false when the record has none.
bool findZip64Field(const std::string &central, size_t &at, size_t &length)
{
    const size_t nameLength = get(central.data() + 28, 2);
    size_t pos = CentralFixed + nameLength;
    const size_t end = pos + get(central.data() + 30, 2);
    while (pos + 4 <= end) {
        const uint64_t id = get(central.data() + pos, 2);
        const size_t size = get(central.data() + pos + 2, 2);
        if (pos + 4 + size > end)
            return false;
        if (id == 1) {
            at = pos + 4;
            length = size;
            return true;
        }
        pos += 4 + size;
    }
    return false;
}

struct Sizes
{
    uint32_t crc = 0;
    uint64_t compressed = 0, size = 0, offset = 0;
};

// The values of a central record, the marked ones from its Zip64 field.
bool centralSizes(const std::string &central, Sizes &out)
{
    const char *p = central.data();
    out.crc = static_cast<uint32_t>(get(p + 16, 4));
    out.compressed = get(p + 20, 4);
    out.size = get(p + 24, 4);
    out.offset = get(p + 42, 4);
    if (out.compressed != Marker32 && out.size != Marker32 && out.offset != Marker32)
        return true;
    size_t at = 0, length = 0;
    if (!findZip64Field(central, at, length))
        return false;
    size_t used = 0;
    for (uint64_t *value : {&out.size, &out.compressed, &out.offset}) {
        if (*value != Marker32)
            continue;
        if (used + 8 > length)
            return false;
        *value = get(p + at + used, 8);
        used += 8;
    }
    return true;
}

// The length of the data descriptor behind a member's data: the form whose values match the
// central record (with or without its signature, 32- or 64-bit sizes); 0 when none does.
uint64_t descriptorLength(int fd, uint64_t at, const Sizes &sizes)
{
    char d[24] = {};
    const bool whole = readAt(fd, at, d, sizeof d);
    for (const bool signature : {true, false}) {
        for (const int width : {4, 8}) {
            const size_t start = signature ? 4 : 0;
            const size_t length = start + 4 + 2 * static_cast<size_t>(width);
            if (!whole && !readAt(fd, at, d, length))
                continue;
            if (signature && get(d, 4) != DescriptorSignature)
                continue;
            if (get(d + start, 4) == sizes.crc && get(d + start + 4, width) == sizes.compressed &&
                get(d + start + 4 + width, width) == sizes.size)
                return length;
        }
    }
    return 0;
}

bool localExtent(int fd, RawMember &member, uint64_t dataLimit)
{
    Sizes sizes;
    if (!centralSizes(member.central, sizes))
        return false;
    char local[30];
    if (sizes.offset >= dataLimit || !readAt(fd, sizes.offset, local, sizeof local) ||
        get(local, 4) != LocalSignature)
        return false;
    const uint64_t dataStart = sizes.offset + 30 + get(local + 26, 2) + get(local + 28, 2);
    uint64_t end = dataStart + sizes.compressed;
    if (get(member.central.data() + 8, 2) & 8) {
        const uint64_t descriptor = descriptorLength(fd, end, sizes);
        if (!descriptor)
            return false;
        end += descriptor;
    }
    if (end > dataLimit || end < dataStart)
        return false;
    member.localOffset = sizes.offset;
    member.localLength = end - sizes.offset;
    return true;
}

struct EndValues
{
    uint64_t count = 0, size = 0, offset = 0;
    uint64_t recordsAt = 0; // where the end records start
    std::string comment;
};

bool findEnd(int fd, uint64_t size, EndValues &out)
{
    const uint64_t tail = std::min<uint64_t>(size, EndFixed + 0xFFFF);
    std::string buffer(static_cast<size_t>(tail), '\0');
    if (tail < EndFixed || !readAt(fd, size - tail, buffer.data(), buffer.size()))
        return false;
    for (size_t at = buffer.size() - EndFixed + 1; at-- > 0;) {
        const char *p = buffer.data() + at;
        if (get(p, 4) != EndSignature || at + EndFixed + get(p + 20, 2) != buffer.size())
            continue;
        if (get(p + 4, 2) != 0 || get(p + 6, 2) != 0 || get(p + 8, 2) != get(p + 10, 2))
            return false; // several disks
        out.count = get(p + 10, 2);
        out.size = get(p + 12, 4);
        out.offset = get(p + 16, 4);
        out.comment.assign(p + EndFixed, get(p + 20, 2));
        out.recordsAt = size - tail + at;
        char locator[20];
        if (out.recordsAt < 20 || !readAt(fd, out.recordsAt - 20, locator, sizeof locator) ||
            get(locator, 4) != Zip64LocatorSignature)
            return true;
        char end64[56];
        const uint64_t end64At = get(locator + 8, 8);
        if (!readAt(fd, end64At, end64, sizeof end64) || get(end64, 4) != Zip64EndSignature)
            return false;
        out.count = get(end64 + 32, 8);
        out.size = get(end64 + 40, 8);
        out.offset = get(end64 + 48, 8);
        out.recordsAt = end64At;
        return true;
    }
    return false;
}

} // namespace

bool readRawDirectory(int fd, uint64_t size, RawDirectory &out)
{
    EndValues end;
    // A directory that does not end where the end records begin means data in front of the
    // archive, or a damaged one: libzip's own copy then decides.
    if (!findEnd(fd, size, end) || end.offset + end.size != end.recordsAt)
        return false;
    std::string directory(static_cast<size_t>(end.size), '\0');
    if (!readAt(fd, end.offset, directory.data(), directory.size()))
        return false;
    out.members.clear();
    out.members.reserve(static_cast<size_t>(std::min<uint64_t>(end.count, end.size / 46)));
    size_t pos = 0;
    while (pos < directory.size()) {
        const char *p = directory.data() + pos;
        if (directory.size() - pos < CentralFixed || get(p, 4) != CentralSignature)
            return false;
        const size_t length = CentralFixed + get(p + 28, 2) + get(p + 30, 2) + get(p + 32, 2);
        if (pos + length > directory.size())
            return false;
        RawMember member;
        member.central.assign(p, length);
        if (!localExtent(fd, member, end.offset))
            return false;
        out.members.push_back(std::move(member));
        pos += length;
    }
    out.directoryOffset = end.offset;
    out.comment = std::move(end.comment);
    return out.members.size() == end.count;
}

bool setLocalOffset(std::string &central, uint64_t offset)
{
    const uint64_t stored = get(central.data() + 42, 4);
    size_t at = 0, length = 0;
    const bool hasField = findZip64Field(central, at, length);
    if (stored != Marker32 && offset < Marker32) {
        setAt(central, 42, offset, 4);
        return true;
    }
    // The offset goes into the Zip64 field: after the sizes that are marked there.
    size_t before = 0;
    for (const size_t field : {size_t{24}, size_t{20}})
        before += get(central.data() + field, 4) == Marker32 ? 8 : 0;
    if (stored == Marker32) {
        if (!hasField || before + 8 > length)
            return false;
        setAt(central, at + before, offset, 8);
        return true;
    }
    const size_t extraLength = get(central.data() + 30, 2);
    if (extraLength + 12 > 0xFFFF || (hasField && before != length))
        return false;
    std::string value;
    put(value, offset, 8);
    if (hasField) {
        central.insert(at + length, value);
        setAt(central, at - 2, length + 8, 2);
        setAt(central, 30, extraLength + 8, 2);
    } else {
        std::string field;
        put(field, 1, 2);
        put(field, 8, 2);
        central.insert(CentralFixed + get(central.data() + 28, 2) + extraLength, field + value);
        setAt(central, 30, extraLength + 12, 2);
    }
    setAt(central, 42, Marker32, 4);
    return true;
}

std::string endRecords(uint64_t count, uint64_t offset, uint64_t size, const std::string &comment)
{
    std::string out;
    const bool zip64 = count >= 0xFFFF || offset >= Marker32 || size >= Marker32;
    if (zip64) {
        const uint64_t end64At = offset + size;
        put(out, Zip64EndSignature, 4);
        put(out, 44, 8);
        put(out, 45, 2); // made by and needed: version 4.5, Zip64
        put(out, 45, 2);
        put(out, 0, 4);
        put(out, 0, 4);
        put(out, count, 8);
        put(out, count, 8);
        put(out, size, 8);
        put(out, offset, 8);
        put(out, Zip64LocatorSignature, 4);
        put(out, 0, 4);
        put(out, end64At, 8);
        put(out, 1, 4);
    }
    put(out, EndSignature, 4);
    put(out, 0, 4);
    put(out, std::min<uint64_t>(count, 0xFFFF), 2);
    put(out, std::min<uint64_t>(count, 0xFFFF), 2);
    put(out, std::min<uint64_t>(size, Marker32), 4);
    put(out, std::min<uint64_t>(offset, Marker32), 4);
    put(out, comment.size(), 2);
    out += comment;
    return out;
}

} // namespace zengine
