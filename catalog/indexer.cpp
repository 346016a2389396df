#include "catalog/reader.h"
#include "catalog/store.h"

#include "common/pathbytes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace catalog {

namespace {

// Files read ahead of the writer, at most: memory stays bounded however large the collection.
constexpr size_t QueueLimit = 256;
// A write transaction is committed after this many files or this long, whichever comes first,
// so that a killed run keeps nearly all its work and other processes never wait long.
constexpr int BatchFiles = 500;
constexpr qint64 BatchMs = 250;
constexpr qint64 ProgressMs = 100;

struct FileStat
{
    bool exists = false;
    bool isDir = false;
    bool isFile = false;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
};

FileStat statPath(const QByteArray &path)
{
    FileStat f;
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return f;
    f.exists = true;
    f.isDir = S_ISDIR(st.st_mode);
    f.isFile = S_ISREG(st.st_mode);
    f.size = st.st_size;
    f.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    f.inode = st.st_ino;
    f.device = st.st_dev;
    return f;
}

bool endsWithNoCase(const QByteArray &name, const char *suffix)
{
    const qsizetype n = qsizetype(strlen(suffix));
    return name.size() > n && qstrnicmp(name.constData() + name.size() - n, suffix, n) == 0;
}

std::optional<Kind> kindOfName(const QByteArray &name)
{
    // Archives of every format Quoril reads (kind Zip stands for "archive"); the reader tells
    // the format by content.
    static constexpr const char *ArchiveSuffixes[] = {".zip", ".lha", ".lzh", ".arj", ".rar", ".7z",
                                                      ".arc", ".zoo", ".cab", ".lzx", ".dms"};
    for (const char *suffix : ArchiveSuffixes)
        if (endsWithNoCase(name, suffix))
            return Kind::Zip;
    if (endsWithNoCase(name, ".mp3"))
        return Kind::Mp3;
    return std::nullopt;
}

QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The names in one folder: its archives and MP3 files, and its subfolders.
struct Listing
{
    QList<QByteArray> files;
    QList<QByteArray> folders;
    bool ok = false;
};

Listing listFolder(const QByteArray &folder)
{
    Listing listing;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return listing;
    listing.ok = true;
    while (const dirent *d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name == "." || name == "..")
            continue;
        bool isDir = d->d_type == DT_DIR;
        bool isFile = d->d_type == DT_REG;
        if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            const FileStat st = statPath(joinPath(folder, name));
            isDir = st.isDir;
            isFile = st.isFile;
        }
        if (isDir)
            listing.folders << name;
        else if (isFile && kindOfName(name))
            listing.files << name;
    }
    ::closedir(dir);
    return listing;
}

struct Job
{
    QByteArray path;
    Kind kind;
    FileStat stat;
};

// Worker threads that read files; the thread that runs the indexer takes their entries.
class ReaderPool
{
public:
    ReaderPool(int threads, const ReadOptions &options, const std::atomic_bool &cancel)
        : m_options(options), m_cancel(cancel)
    {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~ReaderPool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            m_jobs.clear();
        }
        m_changed.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

    // Hands a file out; waits while too many are on their way, taking finished entries.
    template <typename Take> void submit(Job job, Take take)
    {
        std::unique_lock lock(m_mutex);
        while (m_jobs.size() + m_busy + m_done.size() >= QueueLimit && !m_cancel)
            takeDone(lock, take, true);
        m_jobs.push_back(std::move(job));
        lock.unlock();
        m_changed.notify_all();
    }

    // Takes finished entries; with `wait`, waits for one when none is there yet.
    template <typename Take> void collect(Take take, bool wait)
    {
        std::unique_lock lock(m_mutex);
        takeDone(lock, take, wait);
    }

    // Waits for every file handed out (or for the cancel), taking the entries.
    template <typename Take> void finish(Take take)
    {
        std::unique_lock lock(m_mutex);
        if (m_cancel)
            m_jobs.clear();
        while (!m_jobs.empty() || m_busy > 0 || !m_done.empty())
            takeDone(lock, take, true);
    }

private:
    template <typename Take> void takeDone(std::unique_lock<std::mutex> &lock, Take take, bool wait)
    {
        if (wait && m_done.empty())
            m_changed.wait(lock, [this] { return !m_done.empty() || (m_jobs.empty() && !m_busy); });
        std::deque<Entry> done;
        done.swap(m_done);
        lock.unlock();
        m_changed.notify_all();
        for (Entry &entry : done)
            take(entry);
        lock.lock();
    }

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
            if (m_closing)
                return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            ++m_busy;
            lock.unlock();
            std::optional<Entry> entry;
            if (!m_cancel) {
                entry = readFile(job.path, job.kind, m_options);
                entry->size = job.stat.size;
                entry->mtimeNs = job.stat.mtimeNs;
                entry->inode = job.stat.inode;
            }
            lock.lock();
            --m_busy;
            if (entry)
                m_done.push_back(std::move(*entry));
            m_changed.notify_all();
        }
    }

    const ReadOptions &m_options;
    const std::atomic_bool &m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    std::deque<Entry> m_done;
    size_t m_busy = 0;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

} // namespace

QByteArray absolutePath(const QByteArray &path)
{
    QByteArray full = path;
    if (!full.startsWith('/')) {
        char buffer[4096];
        const char *cwd = ::getcwd(buffer, sizeof buffer);
        full = QByteArray(cwd ? cwd : "/") + '/' + full;
    }
    QList<QByteArray> parts;
    for (const QByteArray &part : full.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    return '/' + parts.join('/');
}

Indexer::Indexer(Index &index, IndexOptions options) : m_index(index), m_options(std::move(options))
{}

Indexer::~Indexer() = default;

void Indexer::cancel()
{
    m_cancel = true;
}

bool Indexer::isCancelled() const
{
    return m_cancel;
}

IndexSummary Indexer::run(const QList<QByteArray> &paths)
{
    Index::Impl &store = m_index.impl();
    IndexSummary summary;
    const ReadOptions readOptions = ReadOptions::forCustomList(m_options.customList);

    // First the folders to visit and the number of files in them, so that progress can say
    // "done of found"; the folders are few beside the files.
    struct Root
    {
        QByteArray path;
        bool isFolder;
    };
    QList<Root> roots;
    QList<QByteArray> folders;
    QSet<QPair<quint64, quint64>> visited; // a folder reached twice through links is read once
    for (const QByteArray &given : paths) {
        const QByteArray path = absolutePath(given);
        const FileStat st = statPath(path);
        if (!st.exists) {
            summary.problems << QStringLiteral("%1: no such file or folder")
                                    .arg(pathbytes::display(pathbytes::decode(given)));
            roots << Root{path, false}; // its entry, if any, is dropped
            continue;
        }
        if (!st.isDir) {
            roots << Root{path, false};
            ++summary.found;
            continue;
        }
        roots << Root{path, true};
        QList<QByteArray> pending{path};
        while (!pending.isEmpty() && !m_cancel) {
            const QByteArray folder = pending.takeLast();
            const FileStat fst = statPath(folder);
            if (visited.contains({fst.device, fst.inode}))
                continue;
            visited.insert({fst.device, fst.inode});
            const Listing listing = listFolder(folder);
            if (!listing.ok) {
                summary.problems << QStringLiteral("%1: cannot read the folder")
                                        .arg(pathbytes::display(pathbytes::decode(folder)));
                continue;
            }
            folders << folder;
            summary.found += listing.files.size();
            if (m_options.recursive) {
                for (const QByteArray &name : listing.folders)
                    pending << joinPath(folder, name);
            }
        }
    }

    Progress progress{0, summary.found};
    QElapsedTimer sinceProgress, sinceCommit;
    sinceProgress.start();
    auto report = [&](bool force) {
        if (onProgress && (force || sinceProgress.elapsed() >= ProgressMs)) {
            progress.found = qMax(progress.found, progress.done);
            onProgress(progress);
            sinceProgress.restart();
        }
    };
    report(true);

    bool inTransaction = false;
    int batch = 0;
    auto write = [&] {
        if (!inTransaction) {
            store.begin();
            inTransaction = true;
            sinceCommit.start();
        }
        ++batch;
    };
    auto commitIfDue = [&](bool force) {
        if (inTransaction && (force || batch >= BatchFiles || sinceCommit.elapsed() >= BatchMs)) {
            store.commit();
            inTransaction = false;
            batch = 0;
        }
    };
    auto take = [&](Entry &entry) {
        write();
        store.store(entry, entry.kind == Kind::Zip ? readOptions.planKey : 0);
        ++summary.read;
        ++progress.done;
        if (onEntry)
            onEntry(entry);
        commitIfDue(false);
        report(false);
    };
    auto unchanged = [&](const QByteArray &path) {
        ++summary.unchanged;
        ++progress.done;
        if (onEntry) {
            if (const std::optional<Entry> entry = m_index.lookup(path))
                onEntry(*entry);
        }
        report(false);
    };
    auto isUnchanged = [&](const Stamp &stamp, const FileStat &st, Kind kind) {
        return stamp.size == st.size && stamp.mtimeNs == st.mtimeNs && stamp.inode == st.inode &&
               (kind == Kind::Mp3 || stamp.planKey == readOptions.planKey);
    };
    auto stampOf = [&](const QByteArray &path) {
        sql::Statement &s = *store.selectFolder;
        s.bind(1, folderKey(path));
        std::optional<Stamp> found;
        while (s.step()) {
            if (s.blob(1) == path)
                found = Stamp{s.integer(0), s.integer(2), s.integer(3), quint64(s.integer(4)),
                              s.integer(5)};
        }
        return found;
    };

    const int threads =
        m_options.threads > 0 ? m_options.threads : qBound(1, QThread::idealThreadCount(), 4);
    try {
        ReaderPool pool(threads, readOptions, m_cancel);
        auto visitFile = [&](const QByteArray &path, Kind kind, const FileStat &st,
                             const std::optional<Stamp> &stamp) {
            if (stamp && isUnchanged(*stamp, st, kind))
                unchanged(path);
            else
                pool.submit(Job{path, kind, st}, take);
        };

        for (const Root &root : roots) {
            if (m_cancel || root.isFolder)
                continue;
            const FileStat st = statPath(root.path);
            const std::optional<Stamp> stamp = stampOf(root.path);
            if (!st.exists || st.isDir) {
                if (stamp) {
                    write();
                    store.remove(stamp->id);
                    ++summary.removed;
                }
                continue;
            }
            const QByteArray name = root.path.mid(root.path.lastIndexOf('/') + 1);
            // A file named on its own is read as an archive unless it is an MP3 file.
            visitFile(root.path, kindOfName(name).value_or(Kind::Zip), st, stamp);
        }

        for (const QByteArray &folder : std::as_const(folders)) {
            if (m_cancel)
                break;
            const QByteArray key = folder.endsWith('/') ? folder : folder + '/';
            QHash<QByteArray, Stamp> known;
            {
                sql::Statement &s = *store.selectFolder;
                s.bind(1, key);
                while (s.step())
                    known.insert(s.blob(1), Stamp{s.integer(0), s.integer(2), s.integer(3),
                                                  quint64(s.integer(4)), s.integer(5)});
            }
            const Listing listing = listFolder(folder);
            for (const QByteArray &name : listing.files) {
                if (m_cancel)
                    break;
                const QByteArray path = key + name;
                const FileStat st = statPath(path);
                const auto it = known.constFind(path);
                const std::optional<Stamp> stamp =
                    it == known.constEnd() ? std::nullopt : std::optional<Stamp>(*it);
                if (stamp)
                    known.erase(it);
                if (!st.exists || !st.isFile)
                    continue; // gone since the folder was counted
                visitFile(path, *kindOfName(name), st, stamp);
            }
            // What the index still holds of this folder has vanished.
            if (listing.ok && !m_cancel) {
                for (const Stamp &gone : std::as_const(known)) {
                    write();
                    store.remove(gone.id);
                    ++summary.removed;
                }
            }
            pool.collect(take, false);
            commitIfDue(false);
        }
        pool.finish(take);

        // Folders that vanished below a folder indexed at every level.
        if (m_options.recursive && !m_cancel) {
            QSet<QByteArray> seen;
            for (const QByteArray &folder : std::as_const(folders))
                seen.insert(folder.endsWith('/') ? folder : folder + '/');
            for (const Root &root : std::as_const(roots)) {
                if (!root.isFolder)
                    continue;
                const QByteArray key = root.path.endsWith('/') ? root.path : root.path + '/';
                QList<QByteArray> goneFolders;
                sql::Statement &s = *store.folderKeys;
                s.bind(1, key).bind(2, folderKeyEnd(key));
                while (s.step()) {
                    if (!seen.contains(s.blob(0)))
                        goneFolders << s.blob(0);
                }
                for (const QByteArray &gone : std::as_const(goneFolders)) {
                    sql::Statement &f = *store.selectFolder;
                    f.bind(1, gone);
                    QList<qint64> ids;
                    while (f.step())
                        ids << f.integer(0);
                    for (qint64 id : std::as_const(ids)) {
                        write();
                        store.remove(id);
                        ++summary.removed;
                    }
                }
            }
        }
        commitIfDue(true);
    } catch (...) {
        store.rollback();
        throw;
    }
    summary.cancelled = m_cancel;
    progress.found = qMax(progress.done, m_cancel ? progress.found : progress.done);
    report(true);
    return summary;
}

} // namespace catalog
