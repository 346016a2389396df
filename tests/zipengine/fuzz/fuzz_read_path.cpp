// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: on arbitrary bytes taken for an archive, the scanner path and the libzip
// path give the same result code, the same printed bytes and the same listing, for a listing
// and for lookups of a few names with and without case folding. Aborts on any difference.
// The same bytes also go straight into the decoders of the DOS-era methods, the first byte
// choosing the method and flags: they must end, within the declared size, on any input.

#include "zipengine/engine/internal.h"
#include "zipengine/engine/legacy_methods.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

using namespace zengine;

namespace {

std::string *sink = nullptr;

int onPrint(char *text, unsigned long length)
{
    sink->append(text, length);
    return static_cast<int>(length);
}

void onListing(uint64_t size, uint64_t csize, unsigned ratio, unsigned month, unsigned day,
               unsigned year, unsigned hour, unsigned minute, char flag, const char *name,
               const char *method, unsigned long crc, char encrypted)
{
    char line[160];
    std::snprintf(line, sizeof line, "%llu %llu %u %u-%u-%u %u:%u %c %s %lu %c|",
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(csize),
                  ratio, month, day, year, hour, minute, flag, method, crc, encrypted);
    sink->append(line).append(name).append("\n");
}

int onService(const char *name, uint64_t size)
{
    sink->append("service ").append(name).append(" ").append(std::to_string(size)).append("\n");
    return 0;
}

int noPassword(char *, int, const char *, const char *)
{
    return 1;
}

std::string run(ReadPath path, const char *archive, const char *name, bool ignoreCase)
{
    std::string out;
    sink = &out;
    USERFUNCTIONS uf = {};
    uf.print = onPrint;
    uf.password = noPassword;
    uf.SendApplicationMessage = onListing;
    uf.ServCallBk = onService;
    DCL dcl = {};
    dcl.fQuiet = 2;
    dcl.fPrivilege = 1;
    dcl.C_flag = ignoreCase;
    dcl.lpszZipFN = const_cast<char *>(archive);
    char empty[] = "";
    dcl.lpszExtractDir = empty;
    std::string copy = name ? name : "";
    char *names[] = {copy.data()};
    int rc;
    if (!name) {
        dcl.nvflag = 1;
        dcl.lpszExtractDir = nullptr;
        rc = unzipWith(path, 0, nullptr, 0, nullptr, dcl, &uf);
    } else {
        dcl.ncflag = 1;
        rc = unzipWith(path, 1, names, 0, nullptr, dcl, &uf);
    }
    sink = nullptr;
    return std::to_string(rc) + ":" + out;
}

std::string archivePath()
{
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/quoril-fuzz-" + std::to_string(getpid()) + ".zip";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("TZ", "UTC", 1);
    tzset();
    return 0;
}

namespace {

void decodeRaw(const uint8_t *data, size_t size)
{
    if (size < 2)
        return;
    static const uint16_t methods[] = {1, 2, 3, 4, 5, 6, 9};
    MemberCoding coding;
    coding.method = methods[data[0] % 7];
    coding.flags = static_cast<uint16_t>((data[0] >> 3) & 6);
    coding.size = 1u << (data[1] % 20);
    size_t at = 2;
    uint64_t produced = 0;
    const CompressedSource source = [&](unsigned char *out, size_t room) -> long {
        const size_t n = std::min(room, size - at);
        std::memcpy(out, data + at, n);
        at += n;
        return static_cast<long>(n);
    };
    const DecodedSink sink = [&](const char *, size_t length) {
        produced += length;
        return true;
    };
    std::string reason;
    const DecodeOutcome outcome = decodeMember(coding, source, sink, reason);
    if (produced > coding.size || (outcome != DecodeOutcome::Done && reason.empty()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    decodeRaw(data, size);
    static const std::string path = archivePath();
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    // A file rewritten within one clock tick may keep its identity: start both caches afresh.
    forgetArchive(path);
    static const char *const names[] = {nullptr, "file_id.diz", "README.TXT", "a", "ÄRGER.TXT"};
    for (const char *name : names) {
        for (const bool ignoreCase : {true, false}) {
            if (!name && !ignoreCase)
                continue;
            const std::string fast = run(ReadPath::Fast, path.c_str(), name, ignoreCase);
            const std::string reference = run(ReadPath::LibzipOnly, path.c_str(), name, ignoreCase);
            if (fast != reference) {
                std::fprintf(stderr, "paths differ for %s (case %s):\nfast: %s\nlibzip: %s\n",
                             name ? name : "(listing)", ignoreCase ? "folded" : "exact",
                             fast.c_str(), reference.c_str());
                std::abort();
            }
        }
    }
    return 0;
}
