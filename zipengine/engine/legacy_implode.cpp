// SPDX-License-Identifier: GPL-3.0-or-later
// Implode: a sliding dictionary of 4 or 8 KiB whose literals, lengths and distances are coded
// with Shannon-Fano trees stored at the start of the data.

#include "zipengine/engine/legacy_io.h"

#include <algorithm>
#include <memory>
#include <numeric>

namespace zengine {

namespace {

constexpr unsigned LongestCode = 16;

// A decoding table indexed by the next 16 bits of the stream: symbol and code length.
class ShannonFanoTree
{
public:
    ShannonFanoTree(BitInput &in, unsigned symbols);
    unsigned decode(BitInput &in) const
    {
        in.need(LongestCode);
        const uint16_t entry = m_table[in.peek(LongestCode)];
        if (entry == 0)
            damaged("damaged member data (bad code)");
        in.drop(entry >> 11);
        return entry & 0x7FF;
    }

private:
    std::vector<uint16_t> m_table = std::vector<uint16_t>(1u << LongestCode);
};

// The tree is stored as runs: a count of bytes, then bytes of (run length - 1) << 4 and
// (bit length - 1). Codes are handed out from the longest down, each length's codes counting
// up from where the longer ones ended, and are read from the stream starting with their
// most significant bit.
ShannonFanoTree::ShannonFanoTree(BitInput &in, unsigned symbols)
{
    std::vector<unsigned> lengths;
    const unsigned bytes = in.bits(8) + 1;
    for (unsigned i = 0; i < bytes; ++i) {
        const unsigned b = in.bits(8);
        lengths.insert(lengths.end(), (b >> 4) + 1, (b & 15) + 1);
        if (lengths.size() > symbols)
            damaged("damaged member data (bad tree)");
    }
    if (lengths.size() != symbols)
        damaged("damaged member data (bad tree)");
    std::vector<unsigned> order(symbols);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return lengths[a] < lengths[b]; });
    uint32_t code = 0, increment = 0, last = 0, space = 0;
    for (size_t k = symbols; k-- > 0;) {
        const unsigned symbol = order[k], length = lengths[symbol];
        code += increment;
        if (length != last) {
            last = length;
            increment = 1u << (LongestCode - length);
        }
        space += 1u << (LongestCode - length);
        if (code > 0xFFFF || space > (1u << LongestCode))
            damaged("damaged member data (bad tree)");
        // The stream holds the code's bits from the most significant one: reversed here.
        const uint32_t top = code >> (LongestCode - length);
        uint32_t reversed = 0;
        for (unsigned b = 0; b < length; ++b)
            reversed |= ((top >> b) & 1u) << (length - 1 - b);
        for (uint32_t i = reversed; i < m_table.size(); i += 1u << length)
            m_table[i] = static_cast<uint16_t>(length << 11 | symbol);
    }
}

} // namespace

void explode(BitInput &in, OutputWindow &out, bool bigDictionary, bool literalTree)
{
    std::unique_ptr<ShannonFanoTree> literals;
    if (literalTree)
        literals = std::make_unique<ShannonFanoTree>(in, 256);
    const ShannonFanoTree lengths(in, 64);
    const ShannonFanoTree distances(in, 64);
    const unsigned lowBits = bigDictionary ? 7 : 6;
    const unsigned minimum = literalTree ? 3 : 2;
    while (!out.full()) {
        // One refill covers the flag with a raw literal, or the flag with a distance's low
        // bits and its code.
        in.need(24);
        const bool literal = in.peek(1);
        in.drop(1);
        if (literal) {
            if (literals) {
                out.put(static_cast<unsigned char>(literals->decode(in)));
            } else {
                out.put(static_cast<unsigned char>(in.peek(8)));
                in.drop(8);
            }
            continue;
        }
        const unsigned low = in.peek(lowBits);
        in.drop(lowBits);
        const unsigned distance = (distances.decode(in) << lowBits | low) + 1;
        unsigned length = lengths.decode(in) + minimum;
        if (length == 63 + minimum)
            length += in.bits(8);
        // A last match may reach past the declared size: only the declared bytes count.
        out.copy(distance, static_cast<uint32_t>(std::min<uint64_t>(length, out.left())));
    }
}

} // namespace zengine
