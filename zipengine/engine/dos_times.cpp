// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/dos_times.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zengine {

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

namespace {

constexpr size_t EndRecordSize = 22;
constexpr size_t MaxComment = 0xFFFF;

bool signatureAt(int fd, uint64_t offset, const char *signature)
{
    std::vector<unsigned char> bytes;
    return readAt(fd, offset, 4, bytes) && std::memcmp(bytes.data(), signature, 4) == 0;
}

// Where the directory really is, when the end record says it starts elsewhere: data was put
// in front of the archive after it was written. `expected` is where the record before the
// end record (the directory, or the Zip64 end record) must end.
void findLeadingBytes(int fd, uint64_t expected, DirectoryPlace &dir, const char *signature)
{
    if (dir.offset + dir.size >= expected || dir.size == 0)
        return;
    const uint64_t leading = expected - dir.size - dir.offset;
    if (!signatureAt(fd, dir.offset, signature) && signatureAt(fd, dir.offset + leading, signature))
        dir.leading = leading;
}

// The Zip64 end record that the locator in front of the end record at `endAt` points to.
bool locateZip64Directory(int fd, uint64_t endAt, DirectoryPlace &dir)
{
    std::vector<unsigned char> record;
    if (endAt < 20 || !readAt(fd, endAt - 20, 20, record) ||
        std::memcmp(record.data(), "PK\6\7", 4) != 0)
        return false;
    uint64_t zip64At = u64(record.data() + 8);
    if (endAt >= 20 + 56 && zip64At < endAt - 20 - 56 &&
        signatureAt(fd, endAt - 20 - 56, "PK\6\6") && !signatureAt(fd, zip64At, "PK\6\6")) {
        dir.leading = endAt - 20 - 56 - zip64At;
        zip64At += dir.leading;
    }
    if (!readAt(fd, zip64At, 56, record) || std::memcmp(record.data(), "PK\6\6", 4) != 0)
        return false;
    dir.entries = u64(record.data() + 32);
    dir.size = u64(record.data() + 40);
    dir.offset = u64(record.data() + 48);
    dir.otherDisks = dir.otherDisks || u32(record.data() + 16) != 0 || u32(record.data() + 20) != 0;
    dir.directoryEnd = zip64At;
    dir.zip64 = true;
    return true;
}

} // namespace

bool locateDirectory(int fd, uint64_t fileSize, DirectoryPlace &dir, bool anyComment)
{
    if (fileSize < EndRecordSize)
        return false;
    const uint64_t tail = std::min<uint64_t>(fileSize, EndRecordSize + MaxComment);
    std::vector<unsigned char> buffer;
    if (!readAt(fd, fileSize - tail, static_cast<size_t>(tail), buffer))
        return false;
    for (size_t at = buffer.size() - EndRecordSize + 1; at-- > 0;) {
        const unsigned char *p = buffer.data() + at;
        const size_t reach = at + EndRecordSize + u16(p + 20);
        if (std::memcmp(p, "PK\5\6", 4) != 0 || (!anyComment && reach != buffer.size()))
            continue;
        dir.entries = u16(p + 10);
        dir.size = u32(p + 12);
        dir.offset = u32(p + 16);
        dir.otherDisks = u16(p + 4) != 0 || u16(p + 6) != 0;
        // The comment as stated, or as far as the file goes; bytes after it are not its own.
        dir.comment.assign(reinterpret_cast<const char *>(p) + EndRecordSize,
                           std::min<size_t>(u16(p + 20), buffer.size() - at - EndRecordSize));
        const uint64_t endAt = fileSize - tail + at;
        dir.directoryEnd = endAt;
        if (dir.entries != 0xFFFF && dir.size != 0xFFFFFFFF && dir.offset != 0xFFFFFFFF) {
            findLeadingBytes(fd, endAt, dir, "PK\1\2");
            if (endAt >= 20 && dir.leading + dir.offset + dir.size == endAt &&
                signatureAt(fd, endAt - 20, "PK\6\7"))
                dir.falseLocatorEnd.assign(reinterpret_cast<const char *>(p), buffer.size() - at);
            return true;
        }
        return locateZip64Directory(fd, endAt, dir);
    }
    return false;
}

void readExtraFields(const unsigned char *extra, size_t length, MemberFacts &facts, uint64_t &size)
{
    for (size_t at = 0; at + 4 <= length;) {
        const uint16_t id = u16(extra + at), n = u16(extra + at + 2);
        const unsigned char *data = extra + at + 4;
        if (n > length - at - 4)
            return;
        if (id == 0x0001) {
            size_t k = 0;
            if (size == 0xFFFFFFFF && 8 * k + 8 <= n)
                size = u64(data + 8 * k++);
            if (facts.compressedSize == 0xFFFFFFFF && 8 * k + 8 <= n)
                facts.compressedSize = u64(data + 8 * k++);
            if (facts.localOffset == 0xFFFFFFFF && 8 * k + 8 <= n)
                facts.localOffset = u64(data + 8 * k++);
        } else if (id == 0x5455 && n >= 5 && (data[0] & 1)) {
            facts.hasUnixTime = true;
            facts.unixTime = static_cast<int64_t>(u32(data + 1));
        }
        at += 4 + size_t(n);
    }
}

MemberFacts recordFacts(const unsigned char *record)
{
    MemberFacts facts;
    facts.stamp = DosTime{u16(record + 14), u16(record + 12)};
    facts.flags = u16(record + 8);
    facts.compressedSize = u32(record + 20);
    facts.localOffset = u32(record + 42);
    uint64_t size = u32(record + 24);
    readExtraFields(record + CentralHeaderSize + u16(record + 28), u16(record + 30), facts, size);
    return facts;
}

bool membersOverlap(std::vector<MemberFacts> members)
{
    std::sort(members.begin(), members.end(), [](const MemberFacts &a, const MemberFacts &b) {
        return a.localOffset < b.localOffset;
    });
    for (size_t i = 1; i < members.size(); ++i)
        if (members[i].localOffset <
            members[i - 1].localOffset + LocalHeaderSize + members[i - 1].compressedSize)
            return true;
    return false;
}

DirectoryFacts readDirectoryFacts(int fd)
{
    struct stat st;
    DirectoryPlace dir;
    DirectoryFacts out;
    if (fstat(fd, &st) != 0 || !locateDirectory(fd, static_cast<uint64_t>(st.st_size), dir, false))
        return out;
    out.leadingBytes = dir.leading;
    if (!dir.falseLocatorEnd.empty()) {
        out.shown = Shown::EndRecordAgain;
        out.tailAt = static_cast<uint64_t>(st.st_size) - dir.leading;
        out.tail = std::move(dir.falseLocatorEnd);
    }
    const auto fileSize = static_cast<uint64_t>(st.st_size) - dir.leading;
    if (dir.offset > fileSize || dir.size > fileSize - dir.offset ||
        dir.entries > dir.size / CentralHeaderSize)
        return out;
    std::vector<unsigned char> data;
    if (!readAt(fd, dir.offset + dir.leading, static_cast<size_t>(dir.size), data))
        return out;
    std::vector<MemberFacts> &members = out.members;
    const auto plainOnly = [&out] {
        out.members.clear();
        return out;
    };
    members.reserve(static_cast<size_t>(dir.entries));
    size_t at = 0;
    for (uint64_t i = 0; i < dir.entries; ++i) {
        if (data.size() - at < CentralHeaderSize)
            return plainOnly();
        const unsigned char *p = data.data() + at;
        if (std::memcmp(p, "PK\1\2", 4) != 0)
            return plainOnly();
        const size_t nameLength = u16(p + 28), extraLength = u16(p + 30);
        const size_t total = CentralHeaderSize + nameLength + extraLength + u16(p + 32);
        if (total > data.size() - at)
            return plainOnly();
        members.push_back(recordFacts(p));
        at += total;
    }
    out.overlapping = membersOverlap(members);
    return out;
}

} // namespace zengine
