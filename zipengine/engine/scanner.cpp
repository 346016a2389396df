// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/scanner.h"
#include "zipengine/engine/internal.h"

#include "zipengine/engine/legacy_methods.h"
#include "zipengine/engine/unzip_names.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zengine {

namespace {

constexpr size_t EndRecordSize = 22;
constexpr size_t Zip64LocatorSize = 20;
constexpr size_t Zip64EndSize = 56;
constexpr size_t CentralHeaderSize = 46;
constexpr size_t LocalHeaderSize = 30;
// libzip looks for the end record in this many bytes at the end of the file.
constexpr size_t EndSearchSize = 0xFFFF + EndRecordSize + Zip64LocatorSize;
constexpr size_t StreamChunk = 64 * 1024;
// Bytes kept readable after the data in a stream's buffer, for reads of whole words.
constexpr size_t Slack = 8;
constexpr uint32_t NoMember = 0xFFFFFFFF;
// Offsets and sizes beyond this are left to libzip, which refuses some of them.
constexpr uint64_t LargestOffset = uint64_t(1) << 62;

uint16_t get16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return static_cast<uint16_t>(u[0] | (u[1] << 8));
}

uint32_t get32(const char *p)
{
    return static_cast<uint32_t>(get16(p)) | (static_cast<uint32_t>(get16(p + 2)) << 16);
}

uint64_t get64(const char *p)
{
    return static_cast<uint64_t>(get32(p)) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}

bool signatureAt(const char *p, char third, char fourth)
{
    return p[0] == 'P' && p[1] == 'K' && p[2] == third && p[3] == fourth;
}

// Whether libzip takes the bytes for UTF-8 when it guesses a name's encoding: it checks only
// the shape of each sequence (lead byte and continuation bytes), not overlong forms.
bool guessedUtf8(std::string_view s)
{
    const auto *u = reinterpret_cast<const unsigned char *>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n; ++i) {
        if (u[i] < 0x80)
            continue;
        size_t more;
        if ((u[i] & 0xE0) == 0xC0)
            more = 1;
        else if ((u[i] & 0xF0) == 0xE0)
            more = 2;
        else if ((u[i] & 0xF8) == 0xF0)
            more = 3;
        else
            return false;
        if (i + more >= n)
            return false;
        for (size_t k = 1; k <= more; ++k)
            if ((u[i + k] & 0xC0) != 0x80)
                return false;
        i += more;
    }
    return true;
}

const char16_t Cp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void appendUtf8(char32_t c, std::string &out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Maps 'A'..'Z' to 'a'..'z' in all eight bytes at once; every byte must be below 0x80.
uint64_t lowerAsciiWord(uint64_t w)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    const uint64_t atLeastA = w + ones * (0x80 - 'A');
    const uint64_t aboveZ = w + ones * (0x80 - 'Z' - 1);
    return w | (((atLeastA & ~aboveZ) & (ones * 0x80)) >> 2);
}

// Gathers the high bits of eight bytes into `high`; a byte below 0x20, or a byte equal to
// 0x7F, sets the high bit of some byte in `control`.
[[gnu::always_inline]] inline void classifyWord(uint64_t w, uint64_t &high, uint64_t &control)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    high |= w;
    const uint64_t del = w ^ (ones * 0x7F);
    control |= ((w - ones * 0x20) & ~w) | ((del - ones) & ~del);
}

struct NameWords
{
    uint32_t hash = 0;
    bool ascii = true;    // every byte printable ASCII
    bool control = false; // a byte below 0x20 or 0x7F
};

// Classifies a name's bytes eight at a time and hashes it. The hash only narrows the members
// a wanted name is compared with, so it takes the length and the first and last eight bytes:
// names of up to sixteen bytes (the usual description names) hash whole, and longer ones that
// agree in all three are simply compared. With `lowerAscii` the hash is that of the name's
// ASCII-folded form (valid when it is all ASCII). A name shorter than eight bytes is read as
// a whole word: callers keep seven readable bytes after it.
[[gnu::always_inline]] inline NameWords scanName(const char *p, size_t n, bool lowerAscii)
{
    constexpr uint64_t ones = 0x0101010101010101ULL, highs = ones * 0x80;
    uint64_t high = 0, control = 0;
    uint64_t first, last;
    if (n >= 8) {
        // Whole words; the last one read at the end of the name, overlapping its neighbour
        // (which changes nothing for the classification).
        std::memcpy(&first, p, 8);
        std::memcpy(&last, p + n - 8, 8);
        classifyWord(first, high, control);
        classifyWord(last, high, control);
        for (size_t i = 8; i + 8 < n; i += 8) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            classifyWord(w, high, control);
        }
    } else {
        // Past the name: padding that neither folds nor counts as a control byte.
        uint64_t w;
        std::memcpy(&w, p, 8);
        const uint64_t keep = (uint64_t(1) << (8 * n)) - 1;
        w = (w & keep) | (ones * 'a' & ~keep);
        classifyWord(w, high, control);
        first = last = w;
    }
    NameWords out;
    out.ascii = (high & highs) == 0;
    out.control = (control & highs) != 0;
    if (lowerAscii && out.ascii) {
        first = lowerAsciiWord(first);
        last = lowerAsciiWord(last);
    }
    uint64_t h = (first ^ n) * 0x9E3779B97F4A7C15ULL;
    h ^= ((last << 29) | (last >> 35)) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 31;
    out.hash = static_cast<uint32_t>(h >> 32) ^ static_cast<uint32_t>(h);
    return out;
}

// The same for a name with no readable bytes after it.
NameWords scanName(std::string_view s, bool lowerAscii)
{
    std::string padded;
    padded.reserve(s.size() + 8);
    padded.append(s).append(8, 'a');
    return scanName(padded.data(), s.size(), lowerAscii);
}

uint32_t nameHash(std::string_view s, bool lowerAscii)
{
    return scanName(s, lowerAscii).hash;
}

// The change time is part of it: a file whose permissions changed is read afresh.
struct Identity
{
    uint64_t device, inode, size;
    int64_t sec, nsec, changeSec, changeNsec;
    bool operator==(const Identity &) const = default;
};

Identity identityOf(const struct stat &st)
{
    return {static_cast<uint64_t>(st.st_dev),
            static_cast<uint64_t>(st.st_ino),
            static_cast<uint64_t>(st.st_size),
            st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec,
            st.st_ctim.tv_nsec};
}

// Directories up to this size are kept with the scanned archive (a few slots of them).
constexpr uint64_t KeptDirectoryLimit = 1024 * 1024;

struct Slot
{
    Identity identity;
    std::shared_ptr<const ScannedArchive> archive;
};

// A few archives: a lookup tries up to five names in one archive in a row, and the user
// moves between neighbouring archives.
constexpr size_t ScanSlots = 3;

struct ScanCache
{
    std::mutex mutex;
    std::list<Slot> slots; // most recently used first
};

std::atomic<unsigned long> passes{0};

ScanCache &scanCache()
{
    static ScanCache *const instance = new ScanCache; // outlives every caller, as the engine
    return *instance;
}

} // namespace

bool validDosStamp(uint16_t date, uint16_t time)
{
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int month = (date >> 5) & 15;
    const int day = date & 31;
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    if (month == 2 && day == 29) {
        const int year = 1980 + (date >> 9);
        if (year % 4 != 0 || (year % 100 == 0 && year % 400 != 0))
            return false;
    }
    return (time >> 11) < 24 && ((time >> 5) & 63) < 60 && (time & 31) < 30;
}

void memberNameInto(const CentralRecord &record, std::string &out)
{
    if (!record.unicodeName.empty()) {
        out.assign(record.unicodeName);
        return;
    }
    const std::string_view raw = record.rawName;
    if (record.ascii || (record.flags & 0x0800) || guessedUtf8(raw)) {
        out.assign(raw);
        return;
    }
    out.clear();
    out.reserve(raw.size() * 2);
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else
            appendUtf8(Cp437High[b - 0x80], out);
    }
}

std::string memberName(const CentralRecord &record)
{
    std::string out;
    memberNameInto(record, out);
    return out;
}

// ---------------------------------------------------------------------------------------------

DirectoryStream::DirectoryStream(int fd, uint64_t offset, uint64_t size)
    : m_fd(fd), m_fileOffset(offset), m_left(size),
      m_buffer(static_cast<size_t>(std::min<uint64_t>(size, StreamChunk)) + Slack),
      m_data(m_buffer.data())
{}

DirectoryStream::DirectoryStream(const char *bytes, uint64_t offset, uint64_t size)
    : m_fd(-1), m_fileOffset(offset + size), m_left(0), m_data(bytes),
      m_end(static_cast<size_t>(size))
{}

DirectoryStream DirectoryStream::of(const ScannedArchive &archive, int fd, uint64_t offset,
                                    uint64_t size)
{
    if (const char *kept = archive.directoryBytes())
        return DirectoryStream(kept + (offset - archive.directoryOffset), offset, size);
    return DirectoryStream(fd, offset, size);
}

bool DirectoryStream::refill(size_t length)
{
    if (m_fd < 0)
        return false; // the bytes in memory are all there is
    if (m_pos > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    if (length + Slack > m_buffer.size()) {
        m_buffer.resize(length + Slack);
        m_data = m_buffer.data();
    }
    while (m_end < length) {
        const size_t room = m_buffer.size() - Slack - m_end;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(room, m_left));
        if (want == 0)
            return false;
        const ssize_t n =
            pread(m_fd, m_buffer.data() + m_end, want, static_cast<off_t>(m_fileOffset));
        if (n <= 0)
            return false;
        m_end += static_cast<size_t>(n);
        m_fileOffset += static_cast<uint64_t>(n);
        m_left -= static_cast<uint64_t>(n);
    }
    return true;
}

bool DirectoryStream::next(CentralRecord &record)
{
    m_failed = true;
    if (!ensure(CentralHeaderSize))
        return false;
    const char *h = m_data + m_pos;
    if (!signatureAt(h, 1, 2))
        return false;
    const size_t nameLength = get16(h + 28);
    const size_t extraLength = get16(h + 30);
    const size_t commentLength = get16(h + 32);
    const uint16_t disk = get16(h + 34);
    const size_t total = CentralHeaderSize + nameLength + extraLength + commentLength;
    // Member comments and members on other disks are left to libzip.
    if (commentLength != 0 || disk != 0 || nameLength == 0 || !ensure(total))
        return false;
    h = m_data + m_pos;
    record.recordOffset = m_fileOffset - (m_end - m_pos);
    record.flags = get16(h + 8);
    record.method = get16(h + 10);
    record.dosTime = get16(h + 12);
    record.dosDate = get16(h + 14);
    record.crc = get32(h + 16);
    record.compressedSize = get32(h + 20);
    record.size = get32(h + 24);
    record.localOffset = get32(h + 42);
    record.rawName = std::string_view(h + CentralHeaderSize, nameLength);
    record.unicodeName = std::string_view();
    const NameWords words = scanName(record.rawName.data(), nameLength, true);
    record.asciiHash = words.hash;
    record.ascii = words.ascii;
    // Names with control characters, strong encryption and AES are left to libzip.
    if (words.control || (record.flags & 0x0040) || record.method == 99)
        return false;
    if ((record.flags & 0x0800) && !guessedUtf8(record.rawName))
        return false;

    const bool needSize = record.size == 0xFFFFFFFF;
    const bool needCompressed = record.compressedSize == 0xFFFFFFFF;
    const bool needOffset = record.localOffset == 0xFFFFFFFF;
    bool sawZip64 = false;
    const char *extra = h + CentralHeaderSize + nameLength;
    size_t at = 0;
    while (at < extraLength) {
        if (extraLength - at < 4)
            return false; // a torn extra field
        const uint16_t id = get16(extra + at);
        const size_t length = get16(extra + at + 2);
        if (length > extraLength - at - 4)
            return false;
        const char *data = extra + at + 4;
        if (id == 0x0001 && !sawZip64) {
            sawZip64 = true;
            if (needSize || needCompressed || needOffset) {
                if (length != 8u * (needSize + needCompressed + needOffset))
                    return false;
                size_t k = 0;
                if (needSize)
                    record.size = get64(data + 8 * k++);
                if (needCompressed)
                    record.compressedSize = get64(data + 8 * k++);
                if (needOffset)
                    record.localOffset = get64(data + 8 * k++);
            }
        } else if (id == 0x7075) {
            if (record.flags & 0x0800)
                return false; // which name wins is libzip's own affair
            if (record.unicodeName.empty() && length >= 5 && data[0] == 1 &&
                get32(data + 1) == crc32(0, reinterpret_cast<const Bytef *>(record.rawName.data()),
                                         static_cast<uInt>(nameLength))) {
                const std::string_view name(data + 5, length - 5);
                if (name.empty() || scanName(name.data(), name.size(), false).control ||
                    !guessedUtf8(name))
                    return false;
                record.unicodeName = name;
            } else if (length < 5 || data[0] != 1) {
                return false; // a form libzip may read otherwise
            }
        } else if (id == 0x9901) {
            return false; // AES
        }
        at += 4 + length;
    }
    if ((needSize || needCompressed || needOffset) && !sawZip64)
        return false;
    if (record.size > LargestOffset || record.compressedSize > LargestOffset ||
        record.localOffset > LargestOffset)
        return false;
    m_pos += total;
    m_failed = false;
    return true;
}

// ---------------------------------------------------------------------------------------------

std::vector<uint32_t> ScannedArchive::candidates(std::string_view foldedName) const
{
    std::vector<uint32_t> out;
    const uint32_t hash = nameHash(foldedName, false);
    const uint32_t *hashes = m_hashes.get();
    const auto n = static_cast<size_t>(count);
    // Blocks of sixteen compared at once (the compiler's vector compares); members are
    // gathered only from a block with a match.
    constexpr size_t Block = 16;
    size_t m = 0;
    for (; m + Block <= n; m += Block) {
        unsigned any = 0;
        for (size_t j = 0; j < Block; ++j)
            any |= hashes[m + j] == hash;
        if (any)
            for (size_t j = 0; j < Block; ++j)
                if (hashes[m + j] == hash)
                    out.push_back(static_cast<uint32_t>(m + j));
    }
    for (; m < n; ++m)
        if (hashes[m] == hash)
            out.push_back(static_cast<uint32_t>(m));
    return out;
}

// One pass over the directory: checks every record and builds the folded-name index.
// The last bytes of a file, where the end record is searched for.
struct Tail
{
    const char *bytes;
    uint64_t start; // file offset of bytes[0]
    size_t size;
};

class DirectoryPass
{
public:
    static std::shared_ptr<ScannedArchive> run(int fd, uint64_t fileSize);

private:
    static bool locate(const Tail &tail, int fd, ScannedArchive &archive);
    static bool keepDirectory(const Tail &tail, int fd, ScannedArchive &archive);
};

bool DirectoryPass::locate(const Tail &t, int fd, ScannedArchive &a)
{
    const char *const tail = t.bytes;
    const size_t tailSize = t.size;
    const uint64_t tailStart = t.start;
    if (tailSize < EndRecordSize)
        return false;
    // libzip skips the first bytes of a full search window (room for a Zip64 locator).
    const size_t first = tailSize >= EndSearchSize ? Zip64LocatorSize : 0;
    // The end record is the last one whose comment reaches exactly to the end of the file.
    size_t end = SIZE_MAX;
    for (size_t i = tailSize - EndRecordSize + 1; i-- > first;) {
        if (signatureAt(&tail[i], 5, 6) && i + EndRecordSize + get16(&tail[i + 20]) == tailSize) {
            end = i;
            break;
        }
    }
    if (end == SIZE_MAX)
        return false;
    // Any other end record that libzip could take for a real one (a comment holding a copy,
    // member data holding one) leaves the choice to libzip. The signature's rare byte is
    // searched for: "PK" is everywhere in an archive.
    for (size_t i = first; i + EndRecordSize <= tailSize; ++i) {
        const void *hit = memchr(&tail[i + 2], 5, tailSize - EndRecordSize + 1 - i);
        if (!hit)
            break;
        i = static_cast<size_t>(static_cast<const char *>(hit) - tail) - 2;
        if (i == end || !signatureAt(&tail[i], 5, 6))
            continue;
        const uint64_t position = tailStart + i;
        const uint64_t offset = get32(&tail[i + 16]), size = get32(&tail[i + 12]);
        if (offset + size <= position)
            return false;
        if (i >= Zip64LocatorSize && signatureAt(&tail[i - Zip64LocatorSize], 6, 7))
            return false;
    }
    const char *e = &tail[end];
    const uint64_t endPosition = tailStart + end;
    const uint16_t thisDisk = get16(e + 4), directoryDisk = get16(e + 6);
    const uint16_t onDisk = get16(e + 8), total = get16(e + 10);
    const uint32_t size32 = get32(e + 12), offset32 = get32(e + 16);
    a.commentOffset = endPosition + EndRecordSize;
    a.commentLength = get16(e + 20);
    a.comment.assign(e + EndRecordSize, static_cast<size_t>(a.commentLength));
    const bool hasLocator =
        end >= Zip64LocatorSize && signatureAt(&tail[end - Zip64LocatorSize], 6, 7);
    if (!hasLocator) {
        if (thisDisk != 0 || directoryDisk != 0 || onDisk != total || total == 0xFFFF ||
            size32 == 0xFFFFFFFF || offset32 == 0xFFFFFFFF)
            return false;
        a.count = total;
        a.directorySize = size32;
        a.directoryOffset = offset32;
        return a.directoryOffset + a.directorySize == endPosition;
    }
    const char *l = &tail[end - Zip64LocatorSize];
    const uint64_t recordPosition = get64(l + 8);
    if (get32(l + 4) != 0 || get32(l + 16) != 1 ||
        recordPosition + Zip64EndSize != endPosition - Zip64LocatorSize)
        return false;
    char z[Zip64EndSize];
    if (pread(fd, z, sizeof z, static_cast<off_t>(recordPosition)) !=
        static_cast<ssize_t>(sizeof z))
        return false;
    if (!signatureAt(z, 6, 6) || get64(z + 4) != Zip64EndSize - 12 || get32(z + 16) != 0 ||
        get32(z + 20) != 0 || get64(z + 24) != get64(z + 32))
        return false;
    a.count = get64(z + 32);
    a.directorySize = get64(z + 40);
    a.directoryOffset = get64(z + 48);
    // The classic fields hold either the same values or their "see Zip64" mark.
    if ((thisDisk != 0 && thisDisk != 0xFFFF) || (directoryDisk != 0 && directoryDisk != 0xFFFF) ||
        (onDisk != 0xFFFF && onDisk != a.count) || (total != 0xFFFF && total != a.count) ||
        (size32 != 0xFFFFFFFF && size32 != a.directorySize) ||
        (offset32 != 0xFFFFFFFF && offset32 != a.directoryOffset))
        return false;
    return a.directoryOffset <= LargestOffset && a.directorySize <= LargestOffset &&
           a.directoryOffset + a.directorySize == recordPosition;
}

bool DirectoryPass::keepDirectory(const Tail &tail, int fd, ScannedArchive &a)
{
    if (a.directorySize > KeptDirectoryLimit)
        return true;
    const auto size = static_cast<size_t>(a.directorySize);
    a.m_directory = std::make_unique_for_overwrite<char[]>(size + Slack);
    std::memset(a.m_directory.get() + size, 0, Slack);
    if (a.directoryOffset >= tail.start) {
        // Usually the whole directory came with the end record.
        std::memcpy(a.m_directory.get(), tail.bytes + (a.directoryOffset - tail.start), size);
        return true;
    }
    return pread(fd, a.m_directory.get(), size, static_cast<off_t>(a.directoryOffset)) ==
           static_cast<ssize_t>(size);
}

std::shared_ptr<ScannedArchive> DirectoryPass::run(int fd, uint64_t fileSize)
{
    passes.fetch_add(1, std::memory_order_relaxed);
    auto a = std::make_shared<ScannedArchive>();
    a->fileSize = fileSize;
    // One buffer per thread: a collection's reading locates thousands of end records.
    thread_local const auto tailBuffer = std::make_unique_for_overwrite<char[]>(EndSearchSize);
    const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, EndSearchSize));
    const Tail tail{tailBuffer.get(), fileSize - tailSize, tailSize};
    if (pread(fd, tailBuffer.get(), tailSize, static_cast<off_t>(tail.start)) !=
            static_cast<ssize_t>(tailSize) ||
        !locate(tail, fd, *a) || !keepDirectory(tail, fd, *a))
        return nullptr;
    if (a->count > a->directorySize / CentralHeaderSize || a->count >= NoMember)
        return nullptr;
    const auto count = static_cast<size_t>(a->count);
    // Offsets are kept from the directory's start, in 32 bits.
    if (a->directorySize > UINT32_MAX)
        return nullptr;
    a->m_offsets = std::make_unique_for_overwrite<uint32_t[]>(count);
    a->m_hashes = std::make_unique_for_overwrite<uint32_t[]>(count);
    DirectoryStream stream = DirectoryStream::of(*a, fd, a->directoryOffset, a->directorySize);
    CentralRecord record;
    std::string folded;
    uint64_t previousEnd = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!stream.next(record))
            return nullptr;
        if (record.localOffset < previousEnd)
            a->unordered = true;
        previousEnd = record.localOffset + LocalHeaderSize + record.compressedSize;
        if (a->validStamps && !validDosStamp(record.dosDate, record.dosTime))
            a->validStamps = false;
        uint32_t hash;
        if (record.unicodeName.empty() && record.ascii) {
            hash = record.asciiHash;
        } else {
            foldNameInto(memberName(record), folded);
            hash = nameHash(folded, false);
        }
        a->m_offsets[i] = static_cast<uint32_t>(record.recordOffset - a->directoryOffset);
        a->m_hashes[i] = hash;
    }
    if (!stream.atEnd())
        return nullptr;
    return a;
}

// ---------------------------------------------------------------------------------------------

int openRegularFile(const char *path, struct stat *info)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error) {
        ::close(fd);
        errno = error;
        return -1;
    }
    if (info)
        *info = st;
    return fd;
}

ScanFile::~ScanFile()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool ScanFile::open(const char *path)
{
    m_path = path;
    return ::stat(path, &m_stat) == 0 && S_ISREG(m_stat.st_mode) && m_stat.st_size > 0;
}

bool ScanFile::ensureOpen()
{
    if (m_fd >= 0)
        return true;
    struct stat st;
    m_fd = openRegularFile(m_path.c_str(), &st);
    return m_fd >= 0 && identityOf(st) == identityOf(m_stat);
}

std::shared_ptr<const ScannedArchive> ScanFile::scan()
{
    const Identity identity = identityOf(m_stat);
    ScanCache &cache = scanCache();
    {
        std::lock_guard lock(cache.mutex);
        for (auto it = cache.slots.begin(); it != cache.slots.end(); ++it) {
            if (it->identity == identity) {
                cache.slots.splice(cache.slots.begin(), cache.slots, it);
                return it->archive;
            }
        }
    }
    if (!ensureOpen())
        return nullptr;
    std::shared_ptr<const ScannedArchive> archive =
        DirectoryPass::run(m_fd, static_cast<uint64_t>(m_stat.st_size));
    // A declined archive is remembered too, so that the next call goes to libzip at once.
    std::lock_guard lock(cache.mutex);
    cache.slots.push_front(Slot{identity, archive});
    while (cache.slots.size() > ScanSlots)
        cache.slots.pop_back();
    return archive;
}

bool ScanFile::readAt(uint64_t offset, void *data, size_t length)
{
    if (!ensureOpen())
        return false;
    char *out = static_cast<char *>(data);
    while (length > 0) {
        const ssize_t n = pread(m_fd, out, length, static_cast<off_t>(offset));
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        out += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool ScanFile::record(const ScannedArchive &archive, uint32_t member, CentralRecord &out)
{
    const uint64_t offset = archive.recordOffset(member);
    const uint64_t end = archive.directoryOffset + archive.directorySize;
    // A record is at most 46 + 3 * 65535 bytes; read what the directory holds of that.
    const size_t length =
        static_cast<size_t>(std::min<uint64_t>(end - offset, CentralHeaderSize + 3 * 0xFFFF));
    if (!readable(archive))
        return false;
    DirectoryStream stream = DirectoryStream::of(archive, m_fd, offset, length);
    if (!stream.next(out))
        return false;
    // The record's name points into the stream's buffer: keep a copy here.
    m_recordBuffer.assign(out.rawName.begin(), out.rawName.end());
    const size_t nameSize = m_recordBuffer.size();
    m_recordBuffer.insert(m_recordBuffer.end(), out.unicodeName.begin(), out.unicodeName.end());
    out.rawName = std::string_view(m_recordBuffer.data(), nameSize);
    if (!out.unicodeName.empty())
        out.unicodeName =
            std::string_view(m_recordBuffer.data() + nameSize, out.unicodeName.size());
    return true;
}

namespace {

// A member in one of the methods the engine decodes itself, decoded and checked whole.
bool decodeWhole(const CentralRecord &record, std::string_view compressed, std::vector<char> &out)
{
    out.clear();
    out.reserve(static_cast<size_t>(record.size));
    size_t at = 0;
    const CompressedSource source = [&](unsigned char *data, size_t size) -> long {
        const size_t n = std::min(size, compressed.size() - at);
        if (n > 0) // an empty member has no buffer to copy from
            std::memcpy(data, compressed.data() + at, n);
        at += n;
        return static_cast<long>(n);
    };
    const DecodedSink sink = [&](const char *data, size_t length) {
        out.insert(out.end(), data, data + length);
        return true;
    };
    std::string reason;
    const MemberCoding coding{record.method, record.flags, record.size, record.crc,
                              record.compressedSize};
    return decodeMember(coding, source, sink, reason) == DecodeOutcome::Done;
}

} // namespace

bool ScanFile::readMember(const CentralRecord &record, std::vector<char> &out)
{
    if (record.encrypted() ||
        (record.method != 0 && record.method != 8 && !decodedHere(record.method)) ||
        record.size > ScanMemberLimit || record.compressedSize > 2 * ScanMemberLimit)
        return false;
    // The local header, its name and extra fields and the data in one read, as long as the
    // extra fields are short (they usually are); a second read fetches what is missing.
    const auto fileSize = static_cast<uint64_t>(m_stat.st_size);
    if (record.localOffset + LocalHeaderSize > fileSize)
        return false;
    constexpr size_t UsualExtra = 64;
    std::vector<char> block(static_cast<size_t>(
        std::min<uint64_t>(fileSize - record.localOffset, LocalHeaderSize + record.rawName.size() +
                                                              UsualExtra + record.compressedSize)));
    if (!readAt(record.localOffset, block.data(), block.size()) || !signatureAt(block.data(), 3, 4))
        return false;
    const char *local = block.data();
    const uint16_t flags = get16(local + 6), method = get16(local + 8);
    const size_t nameLength = get16(local + 26), extraLength = get16(local + 28);
    if (flags != record.flags || method != record.method || nameLength != record.rawName.size() ||
        get32(local + 18) == 0xFFFFFFFF || get32(local + 22) == 0xFFFFFFFF)
        return false;
    const size_t headerEnd = LocalHeaderSize + nameLength + extraLength;
    if (record.localOffset + headerEnd + record.compressedSize > fileSize)
        return false;
    const size_t whole = headerEnd + static_cast<size_t>(record.compressedSize);
    if (whole > block.size()) {
        const size_t had = block.size();
        block.resize(whole);
        if (!readAt(record.localOffset + had, block.data() + had, whole - had))
            return false;
        local = block.data();
    }
    if (std::string_view(local + LocalHeaderSize, nameLength) != record.rawName)
        return false;
    // The local extra fields must be well formed; local Zip64 sizes are left to libzip.
    for (size_t at = LocalHeaderSize + nameLength; at < headerEnd;) {
        if (headerEnd - at < 4)
            return false;
        const size_t length = get16(local + at + 2);
        if (length > headerEnd - at - 4)
            return false;
        at += 4 + length;
    }
    const std::string_view compressed(local + headerEnd,
                                      static_cast<size_t>(record.compressedSize));
    if (record.method == 0) {
        if (record.compressedSize != record.size)
            return false;
        out.assign(compressed.begin(), compressed.end());
    } else if (record.method != 8) {
        return decodeWhole(record, compressed, out);
    } else {
        out.resize(static_cast<size_t>(record.size) + 1); // one more: a longer stream shows
        z_stream z = {};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return false;
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
        z.avail_in = static_cast<uInt>(compressed.size());
        z.next_out = reinterpret_cast<Bytef *>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_FINISH);
        const bool whole = rc == Z_STREAM_END && z.avail_in == 0 && z.total_out == record.size;
        inflateEnd(&z);
        if (!whole)
            return false;
        out.resize(static_cast<size_t>(record.size));
    }
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef *>(out.data()), static_cast<uInt>(out.size()));
    return crc == record.crc;
}

unsigned long directoryPasses()
{
    return passes.load();
}

void forgetScannedArchives()
{
    ScanCache &cache = scanCache();
    std::lock_guard lock(cache.mutex);
    cache.slots.clear();
}

} // namespace zengine
