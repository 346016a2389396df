// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "zipengine/records.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Flags that route the engine's output during a synchronous call; false at start. They, like
// the installed sink, belong to the calling thread: the engine calls back on the thread that
// called it, so calls from several threads (one at a time, see ZipEngine) keep their output
// apart. While CaptureOutput is set, print appends the delivered bytes to the current sink's
// capture buffer; while ListingActive is set, SendApplicationMessage hands listing entries to it.
extern thread_local bool CaptureOutput;
extern thread_local bool ListingActive;

struct ListingEntry
{
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    unsigned ratio = 0;
    unsigned month = 0, day = 0, year = 0, hour = 0, minute = 0;
    QString name; // exactly as the engine reported it
};

// Receives what the engine's callbacks deliver during one call. Install one with
// EngineSinkScope around the call; without a sink the callbacks discard everything.
struct EngineSink
{
    // Bytes delivered by print while CaptureOutput is set. Capture stops at captureLimit:
    // print then tells the engine to stop and captureTruncated is set.
    QByteArray captured;
    qsizetype captureLimit = -1; // no limit
    bool captureTruncated = false;
    // Lines printed while CaptureOutput is clear: the engine's warnings and errors.
    QStringList messages;
    std::function<void(const ListingEntry &)> onListing;
    // When set, listed members are only counted here: nothing is converted or handed on.
    qint64 *counted = nullptr;
    // Per member or file, with its name and size; return false to cancel the operation.
    std::function<bool(const QString &name, uint64_t size)> onService;
    // While a large member or file is written: the bytes done in this call, earlier members
    // and files counted whole. The engine makes these calls through the same service callback
    // with no name. Return false to cancel the operation.
    std::function<bool(uint64_t done)> onProgress;
};

class EngineSinkScope
{
public:
    explicit EngineSinkScope(EngineSink &sink);
    ~EngineSinkScope();
    EngineSinkScope(const EngineSinkScope &) = delete;
    EngineSinkScope &operator=(const EngineSinkScope &) = delete;

private:
    EngineSink *m_previous;
};

// Sets a process-wide routing flag for the duration of one engine call.
class FlagScope
{
public:
    FlagScope(bool &flag, bool value) : m_flag(flag), m_saved(flag) { m_flag = value; }
    ~FlagScope() { m_flag = m_saved; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    bool m_saved;
};

// A decompression record with every flag off but the two the program always sets: the engine
// prints no messages of its own (fQuiet 2) and fPrivilege is 1.
DCL blankDcl();

// The program's callback-table routines: the same callbacks for every call.
void FillUserFunctions(USERFUNCTIONS &functions);
void FillZipUserFunctions(ZIPUSERFUNCTIONS &functions);

// The listing line of a member: "%7u  %02u-%02u-%02u %02u:%02u  %s".
QString listingLine(const ListingEntry &entry);
