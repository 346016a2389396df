// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One Wiz_SingleEntryUnzip call: its options, its callbacks, its result and its reporting.
// Every problem becomes one line through print: "warning: <member>: <reason>" or
// "error: <member or archive>: <reason>", each ending in "\n".

#include "zipengine/engine/dos_times.h"
#include "zipengine/engine/internal.h"

#include <zip.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace zengine {

class UnzipSession
{
public:
    UnzipSession(const DCL &dcl, const USERFUNCTIONS *functions);

    const DCL &dcl() const { return m_dcl; }
    const USERFUNCTIONS *functions() const { return m_functions; }
    int result() const { return m_result; }

    // Raises the call's result to `code` unless it is already worse.
    void raise(int code);
    void warning(std::string_view subject, std::string_view reason);
    void error(std::string_view subject, std::string_view reason, int code);
    // Raw bytes to print; returns print's answer (negative: stop).
    int print(const char *data, size_t length);
    // Removes stale temporaries of killed runs from a folder the call writes into, once per
    // folder and call.
    void sweepOnce(int dirFd);

    // Progress inside a member: the service callback is called again with no name and the
    // bytes of member data done in this call (earlier members counted whole, this one up to
    // `memberDone`). False when the answer cancels the call.
    bool progress(zip_uint64_t memberDone);
    // The current member is finished, extracted or not: it counts whole from now on.
    void memberFinished(zip_uint64_t size) { m_done += size; }

private:
    void line(std::string_view kind, std::string_view subject, std::string_view reason);
    const DCL &m_dcl;
    const USERFUNCTIONS *m_functions;
    int m_result = PK_OK;
    zip_uint64_t m_done = 0;
    std::set<std::pair<dev_t, ino_t>> m_swept;
};

enum class ReadOutcome { Done, Stopped, Failed };

struct ReadFailure
{
    int code = PK_OK;
    std::string reason;
};

// Streams a member's bytes to `sink` in pieces of at most 64 KiB, to the end, so that
// libzip checks the CRC. Memory is bounded whatever the member declares; a member that
// yields more bytes than its header declares is cut off as damaged. `sink` returns false to
// stop (the outcome is then Stopped). A password, when given, opens an encrypted member.
// `facts` (may be null) carries the flags that the methods decoded by the engine itself need.
ReadOutcome readMember(zip_t *archive, zip_uint64_t index, zip_uint64_t declaredSize,
                       const char *password, const std::function<bool(const char *, size_t)> &sink,
                       ReadFailure &failure, const MemberFacts *facts = nullptr);

// Plain-English reason for a libzip error on a member, and the result code it earns.
ReadFailure memberFailure(int zipError);

// Extracts one member below the target folder open as `targetFd`. Returns false when the
// whole call must stop (disk full, cancelled).
// `facts` (may be null) also gives the member's time from an extended timestamp field.
bool extractMember(UnzipSession &session, zip_t *archive, zip_uint64_t index,
                   const zip_stat_t &stat, std::string_view name, int targetFd,
                   const char *password, const MemberFacts *facts);

// One member as the listing reports it.
struct ListedMember
{
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    unsigned month = 0, day = 0, year = 0, hour = 0, minute = 0; // year as two digits
    const char *name = "";
    uint16_t method = 0;
    uint32_t crc = 0;
    bool encrypted = false;
};

// Reports the member through SendApplicationMessage, when the table has it.
void reportListed(UnzipSession &session, const ListedMember &member);

// The fast read path (scanner.h). Each returns true when it served the call (its result is
// in the session) and false when it declined before reporting anything: the caller then
// takes the libzip path.
bool fastDeliver(UnzipSession &session, const char *archivePath, std::string_view name);
bool fastList(UnzipSession &session, const char *archivePath);
bool fastComment(UnzipSession &session, const char *archivePath);

} // namespace zengine
