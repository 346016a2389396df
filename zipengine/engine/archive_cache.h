#pragma once
// Read-only views of recently opened archives. A description lookup tries several names in a
// row; opening the archive (reading its whole central directory) once instead of per name is
// what keeps it fast on archives with many members.

#include <zip.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zengine {

class ArchiveView
{
public:
    explicit ArchiveView(zip_t *archive);
    ~ArchiveView();
    ArchiveView(const ArchiveView &) = delete;
    ArchiveView &operator=(const ArchiveView &) = delete;

    zip_t *handle() const { return m_zip; }
    zip_uint64_t count() const { return m_count; }
    // The member's name as UTF-8 (names of archives without the UTF-8 flag are decoded from
    // CP437 unless they already are valid UTF-8). Stays valid while the view lives.
    std::string_view name(zip_uint64_t index) const;
    // Members with this name, in archive order; compared exactly or after case folding.
    // The indexes are built on first use.
    const std::vector<zip_uint64_t> &find(std::string_view name, bool ignoreCase);

private:
    using Index = std::unordered_map<std::string, std::vector<zip_uint64_t>>;
    zip_t *m_zip;
    zip_uint64_t m_count;
    Index m_exact;
    Index m_folded;
    bool m_exactBuilt = false;
    bool m_foldedBuilt = false;
};

// Opens an archive read-only, or reuses the view of a recent open when the file's resolved
// path, device, inode, size and modification time are all unchanged. On failure returns null
// with a libzip error code (ZIP_ER_*) in `zipError`, or with `zipError` 0 and errno set when
// the file itself cannot be examined.
std::shared_ptr<ArchiveView> openArchive(const char *path, int &zipError);

} // namespace zengine
