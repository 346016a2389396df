// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/archive_cache.h"

#include "zipengine/engine/cleaned_directory.h"
#include "zipengine/engine/internal.h"
#include "zipengine/engine/scanner.h"
#include "zipengine/engine/unzip_names.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <malloc.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zengine {

ArchiveView::ArchiveView(zip_t *archive, std::unique_ptr<char[]> streamBuffer, std::string path,
                         DirectoryFacts facts)
    : m_streamBuffer(std::move(streamBuffer)), m_zip(archive), m_path(std::move(path)),
      m_facts(std::move(facts))
{
    const zip_int64_t n = zip_get_num_entries(archive, 0);
    m_count = n > 0 ? static_cast<zip_uint64_t>(n) : 0;
    // Only a directory that lines up with libzip's entries one to one is used.
    if (m_facts.members.size() != m_count) {
        m_facts.members.clear();
        m_facts.tail.clear();
    }
}

ArchiveView::~ArchiveView()
{
    zip_discard(m_zip);
    // The directory of a large archive is many small blocks that the C library would keep
    // for itself: they go back to the system.
    if (m_count >= 100000)
        malloc_trim(0);
}

std::string_view ArchiveView::name(zip_uint64_t index) const
{
    const char *text = zip_get_name(m_zip, index, ZIP_FL_ENC_GUESS);
    return text ? std::string_view(text) : std::string_view();
}

bool ArchiveView::matches(zip_uint64_t index, std::string_view key, bool ignoreCase,
                          std::string &scratch)
{
    const std::string_view n = name(index);
    if (!ignoreCase)
        return n == key;
    // ASCII names (nearly all) compare without folding into a buffer.
    size_t i = 0;
    for (; i < n.size() && i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(n[i]);
        if (c >= 0x80)
            break;
        const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        if (lower != key[i])
            return false;
    }
    if (i == n.size())
        return i == key.size();
    foldNameInto(n, scratch);
    return scratch == key;
}

std::vector<zip_uint64_t> ArchiveView::find(std::string_view name, bool ignoreCase)
{
    Index &index = ignoreCase ? m_folded : m_exact;
    const std::string key = ignoreCase ? foldName(name) : std::string(name);
    std::string scratch;
    std::vector<zip_uint64_t> hits;
    if (!index.built && index.lookups++ == 0) {
        // One lookup costs one pass over the names either way; an index only pays off from
        // the second.
        for (zip_uint64_t i = 0; i < m_count; ++i)
            if (matches(i, key, ignoreCase, scratch))
                hits.push_back(i);
        return hits;
    }
    const std::hash<std::string_view> hash;
    if (!index.built) {
        index.entries.reserve(static_cast<size_t>(m_count));
        for (zip_uint64_t i = 0; i < m_count; ++i) {
            const std::string_view n = this->name(i);
            if (ignoreCase) {
                foldNameInto(n, scratch);
                index.entries.emplace_back(hash(scratch), i);
            } else {
                index.entries.emplace_back(hash(n), i);
            }
        }
        std::sort(index.entries.begin(), index.entries.end());
        index.built = true;
    }
    const size_t h = hash(key);
    auto it = std::lower_bound(index.entries.begin(), index.entries.end(),
                               std::pair<size_t, zip_uint64_t>(h, 0));
    for (; it != index.entries.end() && it->first == h; ++it)
        if (matches(it->second, key, ignoreCase, scratch))
            hits.push_back(it->second); // sorted by index within one hash: archive order
    std::sort(hits.begin(), hits.end());
    return hits;
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
// And at most this many members between them (libzip keeps about 310 bytes per member): an
// archive larger than that alone is read afresh by each call, so that its directory does not
// stay in memory once the extraction that needed it is over.
constexpr zip_uint64_t CachedMembers = 200000;

struct Cache
{
    std::mutex mutex;
    std::list<Slot> slots; // most recently used first
};

// Never destroyed: freeing an archive of 100,000 members takes a tenth of the time it took to
// open it, which a command-line lookup would pay again at exit for nothing. The engine stays
// loaded until the process ends (it is linked "nodelete"), so the views stay reachable.
Cache &cache()
{
    static Cache *const instance = new Cache;
    return *instance;
}

std::string resolved(const char *path)
{
    char buffer[PATH_MAX];
    if (realpath(path, buffer))
        return buffer;
    return path;
}

// Reading the central directory asks the source for each member's header, name and extra
// fields in turn: tens of small reads per member. Through a stream with a 64 KiB buffer these
// cost one system call per 64 KiB of directory instead of one per 4 KiB (stdio's default for
// a file). Member data is read in order when extracting, so the larger buffer serves that
// too; a seek within the buffer costs no system call.
constexpr size_t StreamBuffer = 64 * 1024;

// The archive as libzip is shown it when it is not shown as stored (see Shown): the first
// bytes of the file followed by bytes of the engine's.
struct ExtendedFile
{
    FILE *file = nullptr;
    uint64_t start = 0; // where the archive proper starts in the file
    uint64_t size = 0;  // of the archive proper that is shown
    std::string tail;   // shown after it
    uint64_t position = 0;
    bool streamAt = false; // the stream stands at `position`
    zip_error_t error;
};

zip_int64_t readExtended(ExtendedFile &f, char *data, zip_uint64_t length)
{
    const uint64_t total = f.size + f.tail.size();
    const uint64_t wanted = std::min<uint64_t>(length, total - std::min(total, f.position));
    uint64_t done = 0;
    if (f.position < f.size && wanted > 0) {
        if (!f.streamAt &&
            fseeko(f.file, static_cast<off_t>(f.start + f.position), SEEK_SET) != 0) {
            zip_error_set(&f.error, ZIP_ER_SEEK, errno);
            return -1;
        }
        const size_t part = static_cast<size_t>(std::min(wanted, f.size - f.position));
        done = std::fread(data, 1, part, f.file);
        f.streamAt = true;
        if (done < part) {
            zip_error_set(&f.error, ZIP_ER_READ, EIO);
            f.streamAt = false;
            return -1;
        }
    }
    if (done < wanted) {
        const uint64_t from = f.position + done - f.size;
        std::memcpy(data + done, f.tail.data() + from, static_cast<size_t>(wanted - done));
        done = wanted;
        f.streamAt = false;
    }
    f.position += done;
    return static_cast<zip_int64_t>(done);
}

zip_int64_t extendedCommand(void *state, void *data, zip_uint64_t length, zip_source_cmd_t cmd)
{
    auto &f = *static_cast<ExtendedFile *>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        f.position = 0;
        f.streamAt = false;
        return 0;
    case ZIP_SOURCE_READ:
        return readExtended(f, static_cast<char *>(data), length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t to = zip_source_seek_compute_offset(f.position, f.size + f.tail.size(),
                                                              data, length, &f.error);
        if (to < 0)
            return -1;
        f.streamAt = f.streamAt && static_cast<uint64_t>(to) == f.position;
        f.position = static_cast<uint64_t>(to);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(f.position);
    case ZIP_SOURCE_STAT: {
        auto *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &f.error);
        if (!st)
            return -1;
        zip_stat_init(st);
        st->size = f.size + f.tail.size();
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&f.error, data, length);
    case ZIP_SOURCE_FREE:
        std::fclose(f.file);
        zip_error_fini(&f.error);
        delete &f;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&f.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// The source libzip reads the archive from; it owns the stream from here on.
zip_source_t *archiveSource(FILE *file, const DirectoryFacts &facts, zip_error_t *error)
{
    if (facts.shown == Shown::AsStored)
        return zip_source_filep_create(file, facts.leadingBytes, -1, error);
    struct stat st;
    if (::fstat(fileno(file), &st) != 0 ||
        static_cast<uint64_t>(st.st_size) < facts.leadingBytes + facts.tailAt) {
        zip_error_set(error, ZIP_ER_READ, errno);
        return nullptr;
    }
    auto *state = new ExtendedFile;
    state->file = file;
    state->start = facts.leadingBytes;
    state->size = facts.tailAt;
    state->tail = facts.tail;
    zip_error_init(&state->error);
    zip_source_t *source = zip_source_function_create(extendedCommand, state, error);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}

// libzip's archive over the stream as `facts` say it is shown; null with a libzip error code.
zip_t *openShown(FILE *file, const DirectoryFacts &facts, int &zipError)
{
    zip_error_t error;
    zip_error_init(&error);
    // The source owns the stream from here on and closes it when it is freed.
    // Data in front of the archive is left out: libzip then finds every member where the
    // directory says it is.
    zip_source_t *source = archiveSource(file, facts, &error);
    if (!source) {
        std::fclose(file);
        zipError = zip_error_code_zip(&error) ? zip_error_code_zip(&error) : ZIP_ER_OPEN;
        zip_error_fini(&error);
        return nullptr;
    }
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        zip_source_free(source);
        zipError = zip_error_code_zip(&error) ? zip_error_code_zip(&error) : ZIP_ER_OPEN;
        // The file is open, so libzip's "no such file" is a directory record it cannot follow
        // (a size of 0xFFFFFFFF without its Zip64 field): the archive is damaged.
        if (zipError == ZIP_ER_NOENT)
            zipError = ZIP_ER_INCONS;
    }
    zip_error_fini(&error);
    return archive;
}

// A buffered stream over the descriptor, which it takes over; null (the descriptor closed)
// when there is none.
FILE *streamOf(int fd, std::unique_ptr<char[]> &buffer)
{
    FILE *file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    // glibc takes the size only together with a buffer of the caller's; it must outlive the
    // stream, which the view ensures.
    buffer = std::make_unique_for_overwrite<char[]>(StreamBuffer);
    std::setvbuf(file, buffer.get(), _IOFBF, StreamBuffer);
    return file;
}

zip_t *openReadOnly(const char *path, std::unique_ptr<char[]> &buffer, DirectoryFacts &facts,
                    int &zipError)
{
    const int fd = openRegularFile(path);
    if (fd < 0) {
        if (errno == EINVAL)
            zipError = ZIP_ER_NOZIP;
        return nullptr; // else zipError stays 0: errno says why
    }
    // The file once more, for a second attempt: the first descriptor goes with its source.
    const int spare = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    facts = readDirectoryFacts(fd);
    FILE *file = streamOf(fd, buffer);
    zip_t *archive = file ? openShown(file, facts, zipError) : nullptr;
    // "Not a zip archive" too: an end record whose comment stops short of the file's end,
    // with data in front of the archive, is not recognised at all.
    if (archive || (zipError != ZIP_ER_INCONS && zipError != ZIP_ER_NOZIP) || spare < 0) {
        if (spare >= 0)
            ::close(spare);
        return archive;
    }
    // Refused: the directory read the classic unzip's way, cleaned.
    DirectoryFacts cleaned;
    if (!readCleanedDirectory(spare, cleaned)) {
        ::close(spare);
        return nullptr;
    }
    file = streamOf(spare, buffer);
    int cleanedError = 0;
    archive = file ? openShown(file, cleaned, cleanedError) : nullptr;
    if (archive)
        facts = std::move(cleaned);
    return archive;
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
        std::lock_guard lock(cache().mutex);
        std::list<Slot> &slots = cache().slots;
        for (auto it = slots.begin(); it != slots.end(); ++it) {
            if (it->key.path != key.path)
                continue;
            if (it->key == key) {
                slots.splice(slots.begin(), slots, it);
                return slots.front().view;
            }
            slots.erase(it); // the file changed
            break;
        }
    }
    std::unique_ptr<char[]> buffer;
    DirectoryFacts facts;
    zip_t *archive = openReadOnly(key.path.c_str(), buffer, facts, zipError);
    if (!archive)
        return nullptr;
    auto view =
        std::make_shared<ArchiveView>(archive, std::move(buffer), key.path, std::move(facts));
    std::lock_guard lock(cache().mutex);
    std::list<Slot> &slots = cache().slots;
    slots.push_front(Slot{std::move(key), view});
    // The most recent first, as long as they fit.
    size_t kept = 0;
    zip_uint64_t members = 0;
    for (auto it = slots.begin(); it != slots.end();) {
        if (kept < CacheSlots && members + it->view->count() <= CachedMembers) {
            members += it->view->count();
            ++kept;
            ++it;
        } else {
            it = slots.erase(it);
        }
    }
    return view;
}

void forgetArchive(const std::string &path)
{
    forgetScannedArchives();
    const std::string key = resolved(path.c_str());
    std::lock_guard lock(cache().mutex);
    cache().slots.remove_if(
        [&](const Slot &slot) { return slot.key.path == key || slot.key.path == path; });
}

} // namespace zengine
