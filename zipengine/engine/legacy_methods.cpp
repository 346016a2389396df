// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/legacy_methods.h"

#include "zipengine/engine/legacy_io.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace zengine {

namespace {

// Zero bytes supplied past the end of the input before the data counts as cut short.
constexpr unsigned MostOverrun = 8;

} // namespace

bool decodedHere(uint16_t method)
{
    return (method >= 1 && method <= 6) || method == 9;
}

void BitInput::fill()
{
    if (m_pos == m_end && !m_atEnd) {
        const long n = m_source(m_chunk.data(), m_chunk.size());
        if (n < 0)
            throw DecodeStop{DecodeOutcome::ReadError, "read error"};
        m_pos = 0;
        m_end = static_cast<size_t>(n);
        m_atEnd = n == 0;
    }
    if (m_pos == m_end) {
        if (++m_overrun > MostOverrun)
            damaged("damaged member data (shorter than its header says)");
        m_count += 8; // a zero byte
        return;
    }
    while (m_count <= 56 && m_pos < m_end) {
        m_bits |= static_cast<uint64_t>(m_chunk[m_pos++]) << m_count;
        m_count += 8;
    }
}

void OutputWindow::flush()
{
    if (m_pos > m_start) {
        const char *data = reinterpret_cast<const char *>(m_data.data() + m_start);
        const size_t length = m_pos - m_start;
        m_crc = static_cast<uint32_t>(
            crc32(m_crc, reinterpret_cast<const Bytef *>(data), static_cast<uInt>(length)));
        if (!m_sink(data, length))
            throw DecodeStop{DecodeOutcome::Stopped, ""};
    }
    if (m_pos == Size)
        m_pos = 0;
    m_start = m_pos;
}

void OutputWindow::copy(uint32_t distance, uint32_t length)
{
    if (distance == 0 || distance > Size)
        damaged("damaged member data (bad distance)");
    if (distance > m_total && !m_zeros)
        damaged("damaged member data (distance too far back)");
    const bool room = m_limit - m_total >= length;
    size_t from = (m_pos - distance) & Mask;
    // The common case: the whole copy lies inside the buffer on both sides.
    if (room && distance <= m_total && from + length <= Size && m_pos + length < Size) {
        unsigned char *d = m_data.data();
        for (uint32_t i = 0; i < length; ++i)
            d[m_pos + i] = d[from + i];
        m_pos += length;
        m_total += length;
        return;
    }
    for (uint32_t i = 0; i < length; ++i) {
        const bool before = distance > m_total;
        put(before ? 0 : m_data[from]);
        from = (from + 1) & Mask;
    }
}

// ---------------------------------------------------------------------------------------------
// Shrink: LZW with codes of 9 to 13 bits. Code 256 escapes: then 1 widens the codes, 2 frees
// every code that no other code uses as its prefix. New codes take the lowest free number.

namespace {

constexpr unsigned ShrinkCodes = 8192;
constexpr unsigned FirstFree = 257;

struct ShrinkTable
{
    std::vector<uint16_t> prefix = std::vector<uint16_t>(ShrinkCodes);
    std::vector<unsigned char> suffix = std::vector<unsigned char>(ShrinkCodes);
    std::vector<unsigned char> used = std::vector<unsigned char>(ShrinkCodes);
    std::vector<unsigned char> stack = std::vector<unsigned char>(ShrinkCodes);
    unsigned nextFree = FirstFree;

    bool known(unsigned code) const { return code < 256 || (code >= FirstFree && used[code]); }
    void advance()
    {
        while (nextFree < ShrinkCodes && used[nextFree])
            ++nextFree;
    }
    void add(unsigned prefixCode, unsigned char c)
    {
        if (nextFree >= ShrinkCodes)
            return; // full until the next clearing
        prefix[nextFree] = static_cast<uint16_t>(prefixCode);
        suffix[nextFree] = c;
        used[nextFree] = 1;
        advance();
    }
    void partialClear()
    {
        std::vector<unsigned char> isPrefix(ShrinkCodes);
        for (unsigned c = FirstFree; c < ShrinkCodes; ++c)
            if (used[c])
                isPrefix[prefix[c]] = 1;
        for (unsigned c = FirstFree; c < ShrinkCodes; ++c)
            if (!isPrefix[c])
                used[c] = 0;
        nextFree = FirstFree;
        advance();
    }
    // Writes the string of a known code; returns its first byte.
    unsigned char emit(unsigned code, OutputWindow &out)
    {
        size_t depth = 0;
        while (code >= 256) {
            if (depth == ShrinkCodes || !used[code])
                damaged("damaged member data (bad code)");
            stack[depth++] = suffix[code];
            code = prefix[code];
        }
        out.put(static_cast<unsigned char>(code));
        for (size_t i = depth; i-- > 0;)
            out.put(stack[i]);
        return static_cast<unsigned char>(code);
    }
};

} // namespace

void unshrink(BitInput &in, OutputWindow &out)
{
    ShrinkTable table;
    unsigned width = 9;
    int previous = -1;
    unsigned char previousFirst = 0;
    while (!out.full()) {
        const unsigned code = in.bits(width);
        if (code == 256) {
            const unsigned command = in.bits(width);
            if (command == 1 && width < 13)
                ++width;
            else if (command == 2)
                table.partialClear();
            else
                damaged("damaged member data (bad control code)");
            continue;
        }
        unsigned char first;
        if (table.known(code)) {
            first = table.emit(code, out);
            if (previous >= 0)
                table.add(static_cast<unsigned>(previous), first);
        } else {
            // A code used in the very step that defines it: the previous string and its first
            // byte again.
            if (previous < 0 || code != table.nextFree)
                damaged("damaged member data (bad code)");
            table.add(static_cast<unsigned>(previous), previousFirst);
            first = table.emit(code, out);
        }
        previous = static_cast<int>(code);
        previousFirst = first;
    }
}

// ---------------------------------------------------------------------------------------------
// Reduce: each byte is predicted from a follower set of the byte before it, then a run-length
// stage with DLE (144) expands (length, distance) pairs whose split depends on the factor.

namespace {

unsigned followerBits(unsigned n)
{
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}

} // namespace

void unreduce(BitInput &in, OutputWindow &out, unsigned factor)
{
    std::vector<unsigned char> followers(256 * 64);
    unsigned char counts[256];
    for (int x = 255; x >= 0; --x) {
        counts[x] = static_cast<unsigned char>(in.bits(6));
        for (unsigned i = 0; i < counts[x]; ++i)
            followers[static_cast<size_t>(x) * 64 + i] = static_cast<unsigned char>(in.bits(8));
    }
    const unsigned lengthMask = 0xFFu >> factor;
    unsigned last = 0, state = 0, length = 0, v = 0;
    while (!out.full()) {
        unsigned c;
        const unsigned n = counts[last];
        if (n == 0 || in.bits(1))
            c = in.bits(8);
        else {
            const unsigned i = in.bits(followerBits(n));
            if (i >= n)
                damaged("damaged member data (bad follower)");
            c = followers[last * 64 + i];
        }
        last = c;
        switch (state) {
        case 0:
            if (c == 144)
                state = 1;
            else
                out.put(static_cast<unsigned char>(c));
            break;
        case 1:
            if (c == 0) {
                out.put(144);
                state = 0;
            } else {
                v = c;
                length = c & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += c;
            state = 3;
            break;
        default:
            out.copy(((v >> (8 - factor)) << 8) + c + 1,
                     static_cast<uint32_t>(std::min<uint64_t>(length + 3, out.left())));
            state = 0;
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

// The largest "shrunk" member that is checked for being stored bytes under the shrink label.
constexpr uint64_t RelabelledLimit = 1024 * 1024;

// Some packers label a member that shrinking did not make smaller as shrunk and store its
// bytes as they are. Such a member is as long as its data and its bytes carry its CRC: they
// are delivered as they are. Otherwise decoding goes on over the bytes read.
std::optional<DecodeOutcome> storedUnderShrink(const MemberCoding &member, CompressedSource &source,
                                               const DecodedSink &sink)
{
    if (member.method != 1 || member.size != member.compressedSize || member.size > RelabelledLimit)
        return std::nullopt;
    auto raw = std::make_shared<std::vector<unsigned char>>(static_cast<size_t>(member.size));
    size_t got = 0;
    while (got < raw->size()) {
        const long n = source(raw->data() + got, raw->size() - got);
        if (n < 0)
            return DecodeOutcome::ReadError;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    raw->resize(got);
    if (got == member.size && crc32(0, raw->data(), static_cast<uInt>(got)) == member.crc) {
        for (size_t at = 0; at < got; at += 64 * 1024)
            if (!sink(reinterpret_cast<const char *>(raw->data()) + at,
                      std::min<size_t>(64 * 1024, got - at)))
                return DecodeOutcome::Stopped;
        return DecodeOutcome::Done;
    }
    source = [raw, at = size_t(0)](unsigned char *data, size_t size) mutable -> long {
        const size_t n = std::min(size, raw->size() - at);
        std::copy_n(raw->data() + at, n, data);
        at += n;
        return static_cast<long>(n);
    };
    return std::nullopt;
}

} // namespace

DecodeOutcome decodeMember(const MemberCoding &member, const CompressedSource &original,
                           const DecodedSink &sink, std::string &reason)
{
    try {
        CompressedSource source = original;
        if (const std::optional<DecodeOutcome> done = storedUnderShrink(member, source, sink)) {
            if (*done == DecodeOutcome::ReadError)
                reason = "read error";
            return *done;
        }
        BitInput in(source);
        OutputWindow out(member.size, sink, member.method != 9);
        // An empty member has nothing to decode (packers may store no trees for it).
        switch (member.size == 0 ? 0 : member.method) {
        case 0:
            break;
        case 1:
            unshrink(in, out);
            break;
        case 2:
        case 3:
        case 4:
        case 5:
            unreduce(in, out, member.method - 1u);
            break;
        case 6:
            explode(in, out, member.flags & 2, member.flags & 4);
            break;
        case 9:
            inflate64(in, out);
            break;
        default:
            reason = "unsupported compression method";
            return DecodeOutcome::Damaged;
        }
        out.finish();
        if (out.total() != member.size) {
            reason = "damaged member data (shorter than its header says)";
            return DecodeOutcome::Damaged;
        }
        if (out.crc() != member.crc) {
            reason = "CRC error";
            return DecodeOutcome::Damaged;
        }
        return DecodeOutcome::Done;
    } catch (const DecodeStop &stop) {
        reason = stop.reason;
        return stop.outcome;
    } catch (const std::bad_alloc &) {
        reason = "out of memory";
        return DecodeOutcome::Damaged;
    }
}

} // namespace zengine
