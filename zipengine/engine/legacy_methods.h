// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoders for the compression methods that neither zlib nor libzip read: shrink (1), reduce
// (2-5), implode (6) and Deflate64 (9), written from PKWARE's description of the format.
// Each reads a member's compressed bytes from a source and hands the decoded bytes to a sink
// in pieces of at most 64 KiB. Memory stays bounded whatever the member declares; damaged
// input ends with a reason, never a loop: every step consumes input or produces output, and
// both are bounded.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zengine {

// Whether the engine decodes this method itself.
bool decodedHere(uint16_t method);

struct MemberCoding
{
    uint16_t method = 0;
    uint16_t flags = 0; // general purpose flags: implode's dictionary size and tree count
    uint64_t size = 0;  // declared uncompressed size
    uint32_t crc = 0;
    uint64_t compressedSize = UINT64_MAX; // as stored; UINT64_MAX when not known
};

// Fills `data` with up to `size` compressed bytes; returns how many (0 at the end), or a
// negative value on a read error.
using CompressedSource = std::function<long(unsigned char *data, size_t size)>;
// Takes decoded bytes; false stops the decoding.
using DecodedSink = std::function<bool(const char *data, size_t length)>;

enum class DecodeOutcome { Done, Stopped, Damaged, ReadError };

// Decodes the whole member, then checks its size and CRC. `reason` says what was wrong.
DecodeOutcome decodeMember(const MemberCoding &member, const CompressedSource &source,
                           const DecodedSink &sink, std::string &reason);

} // namespace zengine
