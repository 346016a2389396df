// ZpArchive: adding, replacing, updating and deleting entries over libzip.

#include "zipengine/engine/internal.h"

ZENGINE_EXPORT int ZpArchive(ZCL)
{
    return ZE_PARMS;
}
