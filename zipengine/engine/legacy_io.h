// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bit input and the output window that the legacy decoders share.

#include "zipengine/engine/legacy_methods.h"

#include <cstdint>
#include <vector>

namespace zengine {

// Ends a decoding: thrown inside the decoders, caught by decodeMember.
struct DecodeStop
{
    DecodeOutcome outcome;
    const char *reason;
};

[[noreturn]] inline void damaged(const char *reason)
{
    throw DecodeStop{DecodeOutcome::Damaged, reason};
}

// Bits of the compressed stream, least significant bit first. Past the end of the input a
// few zero bytes are supplied (a final short code may be looked up with a longer peek);
// needing more than that means the data is shorter than the stream it claims to be.
class BitInput
{
public:
    explicit BitInput(const CompressedSource &source) : m_source(source), m_chunk(64 * 1024) {}

    // Makes at least `n` (at most 32) bits available.
    void need(unsigned n)
    {
        while (m_count < n)
            fill();
    }
    uint32_t peek(unsigned n) const { return static_cast<uint32_t>(m_bits & ((1ull << n) - 1)); }
    void drop(unsigned n)
    {
        m_bits >>= n;
        m_count -= n;
    }
    uint32_t bits(unsigned n)
    {
        need(n);
        const uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void alignToByte() { drop(m_count % 8); }

private:
    void fill();
    const CompressedSource &m_source;
    std::vector<unsigned char> m_chunk;
    size_t m_pos = 0, m_end = 0;
    uint64_t m_bits = 0;
    unsigned m_count = 0;
    unsigned m_overrun = 0;
    bool m_atEnd = false;
};

// The last 64 KiB of output, handed to the sink as it fills; counts the CRC and refuses to
// grow past the declared size.
class OutputWindow
{
public:
    static constexpr size_t Size = 64 * 1024;
    static constexpr size_t Mask = Size - 1;

    // `zerosBeforeStart`: a copy from before the first byte yields zeros (implode, reduce)
    // instead of being damage (Deflate64).
    OutputWindow(uint64_t limit, const DecodedSink &sink, bool zerosBeforeStart)
        : m_data(Size), m_limit(limit), m_sink(sink), m_zeros(zerosBeforeStart)
    {}

    void put(unsigned char c)
    {
        if (m_total == m_limit)
            damaged("damaged member data (longer than its header says)");
        m_data[m_pos] = c;
        ++m_total;
        if (++m_pos == Size)
            flush();
    }
    void copy(uint32_t distance, uint32_t length);
    bool full() const { return m_total == m_limit; }
    uint64_t total() const { return m_total; }
    uint64_t left() const { return m_limit - m_total; }
    // Hands on what is left; the CRC is complete afterwards.
    void finish() { flush(); }
    uint32_t crc() const { return m_crc; }

private:
    void flush();
    std::vector<unsigned char> m_data;
    size_t m_pos = 0, m_start = 0;
    uint64_t m_total = 0;
    uint64_t m_limit;
    const DecodedSink &m_sink;
    bool m_zeros;
    uint32_t m_crc = 0;
};

void unshrink(BitInput &in, OutputWindow &out);
void unreduce(BitInput &in, OutputWindow &out, unsigned factor);
void explode(BitInput &in, OutputWindow &out, bool bigDictionary, bool literalTree);
void inflate64(BitInput &in, OutputWindow &out);

} // namespace zengine
