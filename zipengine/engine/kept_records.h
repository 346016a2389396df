// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Members that a write leaves alone keep their records byte for byte. libzip rewrites every
// member it copies: names it decoded from CP437 or from a Unicode path field come back as
// UTF-8 in the central directory only, those fields are dropped, data descriptors go. So a
// run hands libzip only the members it changes or adds; the archive source then copies every
// untouched member's local header, data and descriptor as raw bytes behind what libzip wrote,
// with its central record changed only in the offset, and writes the directory and end
// records itself.

#include <cstdint>
#include <string>
#include <vector>

namespace zengine {

// One member of a directory read back raw.
struct RawMember
{
    uint64_t localOffset = 0;
    uint64_t localLength = 0; // local header, data and data descriptor
    std::string central;      // the whole central record
};

struct RawDirectory
{
    std::vector<RawMember> members; // archive order
    uint64_t directoryOffset = 0;   // where the central directory starts
    std::string comment;            // the archive comment, raw
};

// Reads the directory of the archive open as `fd` (`size` bytes) and each member's local
// extent. False when any record is not accounted for exactly (data in front of the archive,
// several disks, a descriptor that does not match): the caller then lets libzip copy.
bool readRawDirectory(int fd, uint64_t size, RawDirectory &out);

// Where each member of the new archive comes from, in the new archive's order.
struct KeepPlan
{
    struct Slot
    {
        bool original = false; // a raw copy of original member `index`, else libzip's next one
        uint64_t index = 0;
    };
    RawDirectory original;
    int originalFd = -1; // not owned
    std::vector<Slot> slots;
};

// Points the central record at `offset`, in its Zip64 field where it has or needs one. False
// when the record cannot take it.
bool setLocalOffset(std::string &central, uint64_t offset);

// The end records (with Zip64 ones where a value needs them) of a directory of `count` records,
// `size` bytes at `offset`.
std::string endRecords(uint64_t count, uint64_t offset, uint64_t size, const std::string &comment);

} // namespace zengine
