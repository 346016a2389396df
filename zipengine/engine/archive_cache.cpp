#include "zipengine/engine/archive_cache.h"

#include "zipengine/engine/internal.h"
#include "zipengine/engine/unzip_names.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <list>
#include <mutex>
#include <sys/stat.h>

namespace zengine {

ArchiveView::ArchiveView(zip_t *archive) : m_zip(archive)
{
    const zip_int64_t n = zip_get_num_entries(archive, 0);
    m_count = n > 0 ? static_cast<zip_uint64_t>(n) : 0;
}

ArchiveView::~ArchiveView()
{
    zip_discard(m_zip);
}

std::string_view ArchiveView::name(zip_uint64_t index) const
{
    const char *text = zip_get_name(m_zip, index, ZIP_FL_ENC_GUESS);
    return text ? std::string_view(text) : std::string_view();
}

const std::vector<zip_uint64_t> &ArchiveView::find(std::string_view name, bool ignoreCase)
{
    static const std::vector<zip_uint64_t> none;
    Index &index = ignoreCase ? m_folded : m_exact;
    bool &built = ignoreCase ? m_foldedBuilt : m_exactBuilt;
    if (!built) {
        index.reserve(static_cast<size_t>(m_count));
        for (zip_uint64_t i = 0; i < m_count; ++i) {
            const std::string_view n = this->name(i);
            index[ignoreCase ? foldName(n) : std::string(n)].push_back(i);
        }
        built = true;
    }
    const auto it = index.find(ignoreCase ? foldName(name) : std::string(name));
    return it == index.end() ? none : it->second;
}

namespace {

struct Key
{
    std::string path;
    dev_t device;
    ino_t inode;
    off_t size;
    timespec mtime;

    bool operator==(const Key &o) const
    {
        return path == o.path && device == o.device && inode == o.inode && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

struct Slot
{
    Key key;
    std::shared_ptr<ArchiveView> view;
};

// A few archives: a lookup tries up to five names in one archive, and the user moves between
// neighbouring archives. Each view holds the archive's central directory in memory.
constexpr size_t CacheSlots = 3;

std::mutex g_mutex;
std::list<Slot> g_cache; // most recently used first

std::string resolved(const char *path)
{
    char buffer[PATH_MAX];
    if (realpath(path, buffer))
        return buffer;
    return path;
}

} // namespace

std::shared_ptr<ArchiveView> openArchive(const char *path, int &zipError)
{
    zipError = 0;
    struct stat st;
    if (stat(path, &st) != 0)
        return nullptr;
    if (!S_ISREG(st.st_mode)) {
        zipError = S_ISDIR(st.st_mode) ? ZIP_ER_OPEN : ZIP_ER_NOZIP;
        return nullptr;
    }
    // libzip opens an empty file as an empty archive; it is not one.
    if (st.st_size == 0) {
        zipError = ZIP_ER_NOZIP;
        return nullptr;
    }
    Key key{resolved(path), st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    {
        std::lock_guard lock(g_mutex);
        for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
            if (it->key.path != key.path)
                continue;
            if (it->key == key) {
                g_cache.splice(g_cache.begin(), g_cache, it);
                return g_cache.front().view;
            }
            g_cache.erase(it); // the file changed
            break;
        }
    }
    int error = 0;
    zip_t *archive = zip_open(key.path.c_str(), ZIP_RDONLY, &error);
    if (!archive) {
        zipError = error ? error : ZIP_ER_OPEN;
        return nullptr;
    }
    auto view = std::make_shared<ArchiveView>(archive);
    std::lock_guard lock(g_mutex);
    g_cache.push_front(Slot{std::move(key), view});
    while (g_cache.size() > CacheSlots)
        g_cache.pop_back();
    return view;
}

void forgetArchive(const std::string &path)
{
    const std::string key = resolved(path.c_str());
    std::lock_guard lock(g_mutex);
    g_cache.remove_if(
        [&](const Slot &slot) { return slot.key.path == key || slot.key.path == path; });
}

} // namespace zengine
