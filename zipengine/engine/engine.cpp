// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's identity, its held options and its compression callback table.

#include "zipengine/engine/internal.h"

#include <cerrno>
#include <cstring>
#include <string>

ZENGINE_EXPORT const ZENGINEVERSION ZpEngineVersion = {sizeof(ZENGINEVERSION), "Info-ZIP", "2.3",
                                                       "Quoril zip engine over libzip"};

namespace {

ZPOPT defaultOptions()
{
    ZPOPT options;
    std::memset(&options, 0, sizeof options);
    options.fGrow = -1;
    options.fRecurse = 1;
    options.fLevel = '6';
    return options;
}

ZPOPT g_options = defaultOptions();
ZIPUSERFUNCTIONS g_zipFunctions = {};

} // namespace

namespace zengine {

const ZPOPT &heldOptions()
{
    return g_options;
}

const ZIPUSERFUNCTIONS &zipFunctions()
{
    return g_zipFunctions;
}

std::string reasonFor(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "file not found";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOSPC:
    case EDQUOT:
        return "no space left on device";
    case EROFS:
        return "read-only file system";
    case ENOMEM:
        return "out of memory";
    case EIO:
        return "input/output error";
    case ENAMETOOLONG:
        return "name too long";
    case ELOOP:
        return "too many levels of symbolic links";
    case EISDIR:
        return "is a folder";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
            (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z')))
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return text;
    }
    }
}

} // namespace zengine

ZENGINE_EXPORT int ZpInit(LPZIPUSERFUNCTIONS functions)
{
    if (!functions)
        return 0;
    g_zipFunctions = *functions;
    return 1;
}

ZENGINE_EXPORT int ZpSetOptions(LPZPOPT options)
{
    if (!options)
        return 0;
    if (options->fLevel < '0' || options->fLevel > '9')
        return 0;
    if (options->fUpdate && options->fFreshen)
        return 0;
    if (options->fDeleteEntries && (options->fUpdate || options->fFreshen))
        return 0;
    g_options = *options;
    return 1;
}

ZENGINE_EXPORT ZPOPT ZpGetOptions(void)
{
    return g_options;
}
