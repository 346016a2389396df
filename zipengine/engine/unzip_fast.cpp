// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery and listing through the scanner.

#include "zipengine/engine/scanner.h"
#include "zipengine/engine/unzip_names.h"
#include "zipengine/engine/unzip_session.h"

#include <atomic>

namespace zengine {

namespace {

constexpr size_t PieceSize = 64 * 1024;

std::atomic<unsigned long> servedCalls{0};
std::atomic<unsigned long> declinedCalls{0};

bool declined()
{
    declinedCalls.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool served()
{
    servedCalls.fetch_add(1, std::memory_order_relaxed);
    return true;
}

struct Match
{
    uint32_t member;
    std::string name;
};

// The archive's directory, or null when the scanner cannot open or declines it.
std::shared_ptr<const ScannedArchive> scanned(ScanFile &file, const char *archivePath)
{
    return file.open(archivePath) ? file.scan() : nullptr;
}

} // namespace

ReadPathCounts readPathCounts()
{
    return {servedCalls.load(), declinedCalls.load(), directoryPasses()};
}

bool fastDeliver(UnzipSession &session, const char *archivePath, std::string_view tried)
{
    ScanFile file;
    const std::shared_ptr<const ScannedArchive> archive = scanned(file, archivePath);
    if (!archive || archive->unordered)
        return declined();
    const bool ignoreCase = session.dcl().C_flag != 0;
    const std::string foldedTried = foldName(tried);
    std::vector<Match> matches;
    CentralRecord record;
    std::string folded;
    for (const uint32_t member : archive->candidates(foldedTried)) {
        if (!file.record(*archive, member, record))
            return declined();
        std::string name = memberName(record);
        bool same = name == tried;
        if (!same && ignoreCase) {
            foldNameInto(name, folded);
            same = folded == foldedTried;
        }
        if (same)
            matches.push_back({member, std::move(name)});
    }
    if (matches.empty()) {
        session.error(archivePath, "no member matched", PK_FIND);
        return served();
    }
    const Match chosen = *answeringMember(tried, matches, [](const Match &m) { return m.name; });
    std::vector<char> data;
    if (!file.record(*archive, chosen.member, record) || !file.readMember(record, data))
        return declined();

    const USERFUNCTIONS *uf = session.functions();
    if (uf && uf->ServCallBk && uf->ServCallBk(chosen.name.c_str(), record.size) != 0) {
        session.raise(IZ_CTRLC);
        return served();
    }
    for (size_t at = 0; at < data.size(); at += PieceSize) {
        const size_t length = std::min(PieceSize, data.size() - at);
        if (session.print(data.data() + at, length) < 0) {
            session.raise(IZ_CTRLC);
            break;
        }
    }
    return served();
}

bool fastList(UnzipSession &session, const char *archivePath)
{
    ScanFile file;
    const std::shared_ptr<const ScannedArchive> archive = scanned(file, archivePath);
    if (!archive)
        return declined();
    // Invalid stored dates are left to libzip, before anything is reported.
    if (!archive->validStamps)
        return declined();
    const USERFUNCTIONS *uf = session.functions();
    if (!uf || !uf->SendApplicationMessage)
        return served();
    std::string name;
    const bool complete = file.forEach(*archive, [&](const CentralRecord &record) {
        memberNameInto(record, name);
        ListedMember m;
        m.size = record.size;
        m.compressedSize = record.compressedSize;
        // The stored DOS fields, as they are: no detour through the local time zone.
        m.month = (record.dosDate >> 5) & 15;
        m.day = record.dosDate & 31;
        m.year = (1980 + (record.dosDate >> 9)) % 100;
        m.hour = record.dosTime >> 11;
        m.minute = (record.dosTime >> 5) & 63;
        m.name = name.c_str();
        m.method = record.method;
        m.crc = record.crc;
        m.encrypted = record.encrypted();
        reportListed(session, m);
        return true;
    });
    if (!complete)
        session.error(archivePath, "read error (the archive changed while it was listed)",
                      PK_BADERR);
    return served();
}

bool fastComment(UnzipSession &session, const char *archivePath)
{
    ScanFile file;
    const std::shared_ptr<const ScannedArchive> archive = scanned(file, archivePath);
    if (!archive)
        return declined();
    if (!archive->comment.empty())
        session.print(archive->comment.data(), archive->comment.size());
    return served();
}

} // namespace zengine
