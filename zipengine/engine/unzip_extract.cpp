// Extraction of one member below the target folder.

#include "zipengine/engine/unzip_session.h"

namespace zengine {

bool extractMember(UnzipSession &session, zip_t *, zip_uint64_t, const zip_stat_t &,
                   std::string_view name, int, const char *)
{
    session.error(name, "extraction is not available yet", PK_ERR);
    return true;
}

} // namespace zengine
