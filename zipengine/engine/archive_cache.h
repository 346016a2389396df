// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Read-only views of recently opened archives. A description lookup tries several names in a
// row; opening the archive (reading its whole central directory) once instead of per name is
// what keeps it fast on archives with many members.

#include "zipengine/engine/dos_times.h"

#include <zip.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zengine {

class ArchiveView
{
public:
    // Takes the archive and the buffer of the stream it reads through (freed after the
    // archive, which closes the stream).
    ArchiveView(zip_t *archive, std::unique_ptr<char[]> streamBuffer, std::string path,
                DirectoryFacts facts);
    ~ArchiveView();
    ArchiveView(const ArchiveView &) = delete;
    ArchiveView &operator=(const ArchiveView &) = delete;

    zip_t *handle() const { return m_zip; }
    zip_uint64_t count() const { return m_count; }
    // The member's name as UTF-8 (names of archives without the UTF-8 flag are decoded from
    // CP437 unless they already are valid UTF-8). Stays valid while the view lives.
    std::string_view name(zip_uint64_t index) const;
    // Members with this name, in archive order; compared exactly or after case folding.
    // The first lookup scans the names; a second one builds an index for every later one.
    std::vector<zip_uint64_t> find(std::string_view name, bool ignoreCase);
    // The member's DOS date and time fields as stored; null when the central directory could
    // not be read plainly.
    const DosTime *dosTime(zip_uint64_t index) const
    {
        const MemberFacts *f = facts(index);
        return f ? &f->stamp : nullptr;
    }
    // What the engine read of the member's central record itself; null as above.
    const MemberFacts *facts(zip_uint64_t index) const
    {
        return index < m_facts.members.size() ? &m_facts.members[index] : nullptr;
    }
    bool overlapping() const { return m_facts.overlapping; }
    // How libzip was shown the archive (a cleaned copy of its directory, say).
    Shown shown() const { return m_facts.shown; }

private:
    // Hashes of the (folded) names with their member, sorted by hash: one allocation for the
    // whole archive, no copies of the names.
    struct Index
    {
        std::vector<std::pair<size_t, zip_uint64_t>> entries;
        unsigned lookups = 0;
        bool built = false;
    };
    bool matches(zip_uint64_t index, std::string_view key, bool ignoreCase, std::string &scratch);
    std::unique_ptr<char[]> m_streamBuffer;
    zip_t *m_zip;
    zip_uint64_t m_count;
    std::string m_path;
    DirectoryFacts m_facts;
    Index m_exact;
    Index m_folded;
};

// Opens an archive read-only, or reuses the view of a recent open when the file's resolved
// path, device, inode, size and modification time are all unchanged. On failure returns null
// with a libzip error code (ZIP_ER_*) in `zipError`, or with `zipError` 0 and errno set when
// the file itself cannot be examined.
std::shared_ptr<ArchiveView> openArchive(const char *path, int &zipError);

} // namespace zengine
