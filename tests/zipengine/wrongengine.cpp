// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in engine that exports every entry point but names another interface version.

#include "zipengine/records.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT const ZENGINEVERSION ZpEngineVersion = {sizeof(ZENGINEVERSION), "Info-ZIP", "2.2",
                                               "stand-in engine of another version"};

EXPORT int ZpInit(LPZIPUSERFUNCTIONS)
{
    return 1;
}
EXPORT int ZpSetOptions(LPZPOPT)
{
    return 1;
}
EXPORT ZPOPT ZpGetOptions(void)
{
    return ZPOPT{};
}
EXPORT int ZpArchive(ZCL)
{
    return ZE_OK;
}
EXPORT int Wiz_SingleEntryUnzip(int, char **, int, char **, LPDCL, LPUSERFUNCTIONS)
{
    return PK_OK;
}
