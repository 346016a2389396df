// SPDX-License-Identifier: GPL-3.0-or-later
// Deflate64: deflate with a 64 KiB window, length code 285 taking 16 extra bits (base 3) and
// distance codes 30 and 31 (14 extra bits) reaching back 64 KiB.

#include "zipengine/engine/legacy_io.h"

#include <cstring>

namespace zengine {

namespace {

constexpr unsigned MaxBits = 15;

const uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
const uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
const uint32_t DistanceBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                   17,   25,   33,   49,    65,    97,    129,   193,
                                   257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                   4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const uint8_t DistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                   7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// A canonical Huffman code, decoded through a table indexed by the next `bits` bits.
class HuffmanCode
{
public:
    HuffmanCode(const uint8_t *lengths, unsigned count);
    unsigned decode(BitInput &in) const
    {
        in.need(m_bits);
        const uint16_t entry = m_table[in.peek(m_bits)];
        if (entry == 0)
            damaged("damaged member data (bad code)");
        in.drop(entry >> 9);
        return entry & 0x1FF;
    }

private:
    unsigned m_bits = 1;
    std::vector<uint16_t> m_table;
};

HuffmanCode::HuffmanCode(const uint8_t *lengths, unsigned count)
{
    unsigned perLength[MaxBits + 1] = {};
    for (unsigned s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    uint32_t next[MaxBits + 2] = {};
    uint32_t code = 0;
    for (unsigned len = 1; len <= MaxBits; ++len) {
        code = (code + perLength[len - 1]) << 1;
        next[len] = code;
        if (perLength[len])
            m_bits = len;
        if (code + perLength[len] > (1u << len))
            damaged("damaged member data (bad code lengths)");
    }
    m_table.assign(size_t(1) << m_bits, 0);
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0)
            continue;
        const uint32_t c = next[len]++;
        uint32_t reversed = 0;
        for (unsigned b = 0; b < len; ++b)
            reversed |= ((c >> b) & 1u) << (len - 1 - b);
        for (uint32_t i = reversed; i < m_table.size(); i += 1u << len)
            m_table[i] = static_cast<uint16_t>(len << 9 | s);
    }
}

void codeLengths(BitInput &in, uint8_t *lengths, unsigned &literals, unsigned &distances)
{
    literals = in.bits(5) + 257;
    distances = in.bits(5) + 1;
    const unsigned codes = in.bits(4) + 4;
    static const uint8_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
    uint8_t lengthLengths[19] = {};
    for (unsigned i = 0; i < codes; ++i)
        lengthLengths[order[i]] = static_cast<uint8_t>(in.bits(3));
    const HuffmanCode lengthCode(lengthLengths, 19);
    for (unsigned i = 0; i < literals + distances;) {
        const unsigned sym = lengthCode.decode(in);
        unsigned repeat = 1;
        uint8_t value = static_cast<uint8_t>(sym);
        if (sym == 16) {
            if (i == 0)
                damaged("damaged member data (bad code lengths)");
            value = lengths[i - 1];
            repeat = 3 + in.bits(2);
        } else if (sym == 17) {
            value = 0;
            repeat = 3 + in.bits(3);
        } else if (sym == 18) {
            value = 0;
            repeat = 11 + in.bits(7);
        }
        if (i + repeat > literals + distances)
            damaged("damaged member data (bad code lengths)");
        std::memset(lengths + i, value, repeat);
        i += repeat;
    }
}

void inflateBlock(BitInput &in, OutputWindow &out, const HuffmanCode &lit, const HuffmanCode &dist)
{
    for (;;) {
        const unsigned sym = lit.decode(in);
        if (sym < 256) {
            out.put(static_cast<unsigned char>(sym));
            continue;
        }
        if (sym == 256)
            return;
        if (sym > 285)
            damaged("damaged member data (bad length code)");
        const unsigned l = sym - 257;
        const uint32_t length = LengthBase[l] + in.bits(LengthExtra[l]);
        const unsigned d = dist.decode(in);
        if (d >= 32)
            damaged("damaged member data (bad distance code)");
        out.copy(DistanceBase[d] + in.bits(DistanceExtra[d]), length);
    }
}

void storedBlock(BitInput &in, OutputWindow &out)
{
    in.alignToByte();
    const unsigned length = in.bits(16);
    if ((in.bits(16) ^ 0xFFFF) != length)
        damaged("damaged member data (bad stored block)");
    for (unsigned i = 0; i < length; ++i)
        out.put(static_cast<unsigned char>(in.bits(8)));
}

} // namespace

void inflate64(BitInput &in, OutputWindow &out)
{
    bool last = false;
    while (!last) {
        last = in.bits(1);
        const unsigned type = in.bits(2);
        if (type == 0) {
            storedBlock(in, out);
        } else if (type == 1) {
            uint8_t lengths[320];
            std::memset(lengths, 8, 144);
            std::memset(lengths + 144, 9, 112);
            std::memset(lengths + 256, 7, 24);
            std::memset(lengths + 280, 8, 8);
            std::memset(lengths + 288, 5, 32);
            inflateBlock(in, out, HuffmanCode(lengths, 288), HuffmanCode(lengths + 288, 32));
        } else if (type == 2) {
            uint8_t lengths[320] = {};
            unsigned literals = 0, distances = 0;
            codeLengths(in, lengths, literals, distances);
            inflateBlock(in, out, HuffmanCode(lengths, literals),
                         HuffmanCode(lengths + literals, distances));
        } else {
            damaged("damaged member data (bad block type)");
        }
    }
}

} // namespace zengine
