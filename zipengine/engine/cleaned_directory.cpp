// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/cleaned_directory.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <sys/stat.h>

namespace zengine {

namespace {

constexpr uint64_t Marked = 0xFFFFFFFF; // a 32-bit field whose value is in the Zip64 field
constexpr uint16_t Zip64Field = 0x0001;

void put(std::string &out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void overwrite(std::string &out, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One central record's values as the classic unzip takes them.
struct Record
{
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint64_t localOffset = 0;
    std::string extra; // the well-formed extra fields but the Zip64 one
    int taken = 0;     // values taken from the Zip64 field
};

// The record's well-formed extra fields, up to the first piece that does not form one (shorter
// than a field header, or a length that runs past the block): the rest is left out. The Zip64
// field's values are taken for each 32-bit field marked 0xFFFFFFFF in turn, eight bytes each
// from the field's data on, as far as the block holds them: the classic unzip reads them so,
// also past the field's own length.
void readFields(const unsigned char *extra, size_t length, Record &r)
{
    for (size_t at = 0; length - at >= 4;) {
        const size_t n = u16(extra + at + 2);
        if (n > length - at - 4)
            return;
        if (u16(extra + at) != Zip64Field) {
            r.extra.append(reinterpret_cast<const char *>(extra + at), 4 + n);
        } else {
            size_t from = at + 4;
            for (uint64_t *value : {&r.size, &r.compressedSize, &r.localOffset}) {
                if (*value == Marked && length - from >= 8) {
                    *value = u64(extra + from);
                    from += 8;
                    ++r.taken;
                }
            }
        }
        at += 4 + n;
    }
}

// Whether the record's local header is where it says and the member's data ends before the
// directory starts.
bool localHeaderFits(int fd, const DirectoryPlace &dir, const Record &r)
{
    std::vector<unsigned char> local;
    if (r.localOffset > dir.offset || dir.offset - r.localOffset < LocalHeaderSize ||
        !readAt(fd, dir.leading + r.localOffset, LocalHeaderSize, local) ||
        std::memcmp(local.data(), "PK\3\4", 4) != 0)
        return false;
    const uint64_t room = dir.offset - r.localOffset - LocalHeaderSize;
    const uint64_t header = uint64_t{u16(local.data() + 26)} + u16(local.data() + 28);
    return header <= room && r.compressedSize <= room - header;
}

// The record as written again: its 32-bit fields hold the values taken (0xFFFFFFFF where one
// does not fit, given then in a Zip64 field of its own), its extra block the well-formed
// fields. False when the block would grow too long.
bool writeRecord(const unsigned char *p, const Record &r, std::string &out)
{
    std::string zip64;
    for (const uint64_t value : {r.size, r.compressedSize, r.localOffset})
        if (value >= Marked)
            put(zip64, value, 8);
    std::string extra = r.extra;
    if (!zip64.empty()) {
        put(extra, Zip64Field, 2);
        put(extra, zip64.size(), 2);
        extra += zip64;
    }
    if (extra.size() > 0xFFFF)
        return false;
    const size_t nameLength = u16(p + 28);
    const size_t start = out.size();
    out.append(reinterpret_cast<const char *>(p), CentralHeaderSize + nameLength);
    overwrite(out, start + 20, std::min(r.compressedSize, Marked), 4);
    overwrite(out, start + 24, std::min(r.size, Marked), 4);
    overwrite(out, start + 30, extra.size(), 2);
    overwrite(out, start + 42, std::min(r.localOffset, Marked), 4);
    out += extra;
    out.append(reinterpret_cast<const char *>(p) + CentralHeaderSize + nameLength + u16(p + 30),
               u16(p + 32));
    return true;
}

// Every record of the directory, written again into `out`; false at the first doubt.
bool cleanRecords(int fd, const DirectoryPlace &dir, std::string &out,
                  std::vector<MemberFacts> &members)
{
    std::vector<unsigned char> data;
    if (!readAt(fd, dir.leading + dir.offset, static_cast<size_t>(dir.size), data))
        return false;
    members.reserve(static_cast<size_t>(dir.entries));
    size_t at = 0;
    for (uint64_t i = 0; i < dir.entries; ++i) {
        if (data.size() - at < CentralHeaderSize)
            return false;
        const unsigned char *p = data.data() + at;
        // Members on another disk stay refused.
        if (std::memcmp(p, "PK\1\2", 4) != 0 || u16(p + 34) != 0)
            return false;
        const size_t nameLength = u16(p + 28), extraLength = u16(p + 30);
        const size_t total = CentralHeaderSize + nameLength + extraLength + u16(p + 32);
        if (total > data.size() - at)
            return false;
        Record r{u32(p + 24), u32(p + 20), u32(p + 42), {}};
        const int marked =
            (r.size == Marked) + (r.compressedSize == Marked) + (r.localOffset == Marked);
        readFields(p + CentralHeaderSize + nameLength, extraLength, r);
        // A value marked as given in the Zip64 field that the field does not hold is doubtful.
        const size_t start = out.size();
        if (r.taken != marked || !localHeaderFits(fd, dir, r) || !writeRecord(p, r, out))
            return false;
        members.push_back(recordFacts(reinterpret_cast<const unsigned char *>(out.data() + start)));
        at += total;
    }
    return at == data.size();
}

// The end records after the cleaned directory in `tail`: a Zip64 pair when a value needs it,
// then the classic one with the comment as far as the file holds it. When the directory's
// last bytes look like a Zip64 locator, the end record follows twice (see Shown).
void writeEnd(const DirectoryPlace &dir, uint64_t count, std::string &tail)
{
    const uint64_t size = tail.size();
    const bool zip64 = count >= 0xFFFF || size >= Marked || dir.offset >= Marked;
    if (zip64) {
        const uint64_t at = dir.offset + size;
        tail += "PK\6\6";
        put(tail, 44, 8);
        put(tail, 45, 2);
        put(tail, 45, 2);
        put(tail, 0, 8); // this disk, the directory's disk
        put(tail, count, 8);
        put(tail, count, 8);
        put(tail, size, 8);
        put(tail, dir.offset, 8);
        tail += "PK\6\7";
        put(tail, 0, 4);
        put(tail, at, 8);
        put(tail, 1, 4);
    }
    std::string end = "PK\5\6";
    put(end, 0, 4);
    put(end, std::min<uint64_t>(count, 0xFFFF), 2);
    put(end, std::min<uint64_t>(count, 0xFFFF), 2);
    put(end, std::min(size, Marked), 4);
    put(end, std::min(dir.offset, Marked), 4);
    put(end, dir.comment.size(), 2);
    end += dir.comment;
    const bool lookalike =
        !zip64 && tail.size() >= 20 && tail.compare(tail.size() - 20, 4, "PK\6\7") == 0;
    tail += end;
    if (lookalike)
        tail += end;
}

} // namespace

bool readCleanedDirectory(int fd, DirectoryFacts &facts)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return false;
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    DirectoryPlace dir;
    if (!locateDirectory(fd, fileSize, dir, false)) {
        dir = DirectoryPlace{};
        if (!locateDirectory(fd, fileSize, dir, true))
            return false;
    }
    // The directory must end where the end record (or the Zip64 one) starts.
    if (dir.otherDisks || dir.leading > fileSize || dir.offset > fileSize - dir.leading ||
        dir.size > fileSize - dir.leading - dir.offset ||
        dir.leading + dir.offset + dir.size != dir.directoryEnd ||
        dir.entries > dir.size / CentralHeaderSize)
        return false;
    std::string tail;
    std::vector<MemberFacts> members;
    if (!cleanRecords(fd, dir, tail, members))
        return false;
    writeEnd(dir, members.size(), tail);
    facts = DirectoryFacts{};
    facts.leadingBytes = dir.leading;
    facts.members = std::move(members);
    facts.overlapping = membersOverlap(facts.members);
    facts.shown = Shown::CleanedDirectory;
    facts.tailAt = dir.offset;
    facts.tail = std::move(tail);
    return true;
}

} // namespace zengine
