// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "zipengine/records.h"

#include <QString>

// The zip engine, loaded at start from the program's own folder. Every entry point is called
// through here; the program never includes the back end's headers.
class ZipEngine
{
public:
    static constexpr const char *LibraryFileName = "libquorilzip.so";
    static constexpr const char *ExpectedCompany = "Info-ZIP";
    static constexpr const char *ExpectedVersion = "2.3";

    // The engine check: loads the library from `folder` (the program's folder when empty)
    // and compares its version record. Returns the message to show, or an empty string when
    // the engine is usable. A second successful call keeps the engine already loaded.
    static QString load(const QString &folder = QString());
    static bool isLoaded();

    static int ZpInit(LPZIPUSERFUNCTIONS functions);
    static int ZpSetOptions(ZPOPT *options);
    static ZPOPT ZpGetOptions();
    static int ZpArchive(ZCL command);
    static int Wiz_SingleEntryUnzip(int includeCount, char **includeNames, int excludeCount,
                                    char **excludeNames, LPDCL dcl, LPUSERFUNCTIONS functions);

    // True while an engine call runs on the calling thread. The engine is not re-entrant: a call
    // made meanwhile on the same thread (from events handled while a long call shows progress)
    // is refused with a parameter error, and callers that can wait should try again later. Calls
    // from other threads wait for their turn.
    static bool isBusy();

    // Holds this thread's turn across several calls: a worker that makes a few short calls on
    // one archive waits for the engine once instead of before each call.
    class Turn
    {
    public:
        Turn();
        ~Turn();
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;

    private:
        bool m_owner = false;
    };

    static QString notFoundMessage();
    static QString wrongVersionMessage();
};
