// The engine's identity, its held options and its compression callback table.

#include "zipengine/engine/internal.h"

#include <cerrno>
#include <cstring>

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
