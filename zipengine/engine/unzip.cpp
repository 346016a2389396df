// Wiz_SingleEntryUnzip: listing, delivery and extraction over libzip.

#include "zipengine/engine/internal.h"

namespace zengine {

void forgetArchive(const std::string &) {}

} // namespace zengine

ZENGINE_EXPORT int Wiz_SingleEntryUnzip(int, char **, int, char **, LPDCL, LPUSERFUNCTIONS)
{
    return PK_PARAM;
}
