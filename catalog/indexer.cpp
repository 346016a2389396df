// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/reader.h"
#include "catalog/store.h"

#include "common/pathbytes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
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
    qint64 ctimeNs = 0;
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
    f.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
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
    qint64 row = 0; // the file's row in the index, 0 for a new file
};

struct Read
{
    Entry entry;
    qint64 row = 0;
};

// Worker threads that read files; the thread that runs the indexer takes their entries.
// Archives are read through the ZIP engine, which serves one caller at a time: the first
// worker reads every kind of file, the others only MP3 files. Two workers taking turns at the
// engine would cost more in waking each other than they gain.
class ReaderPool
{
public:
    ReaderPool(int threads, const ReadOptions &options, const std::atomic_bool &cancel)
        : m_options(options), m_cancel(cancel)
    {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this, i] { work(i == 0); });
    }
    ~ReaderPool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            m_jobs.clear();
        }
        m_jobReady.notify_all();
        m_soundReady.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

    // Hands a file out; waits while too many are on their way, taking finished entries.
    template <typename Take> void submit(Job job, Take take)
    {
        std::unique_lock lock(m_mutex);
        // A full queue is drained by a quarter at a time: one wake-up per finished file would
        // cost more than the files' reading.
        while (m_jobs.size() + m_busy + m_done.size() >= QueueLimit && !m_cancel)
            takeDone(lock, take, true, QueueLimit / 4);
        const bool sound = job.kind == Kind::Mp3;
        m_jobs.push_back(std::move(job));
        lock.unlock();
        m_jobReady.notify_one();
        if (sound)
            m_soundReady.notify_one();
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
    template <typename Take>
    void takeDone(std::unique_lock<std::mutex> &lock, Take take, bool wait, size_t wanted = 1)
    {
        if (wait && m_done.size() < wanted) {
            m_wanted = wanted;
            m_doneReady.wait(lock, [this] { return enoughDone(); });
            m_wanted = 0;
        }
        std::deque<Read> done;
        done.swap(m_done);
        lock.unlock();
        for (Read &read : done)
            take(read);
        lock.lock();
    }

    bool enoughDone() const { return m_done.size() >= m_wanted || (m_jobs.empty() && !m_busy); }

    // The first queued job this worker takes: any for the first worker, else an MP3 file's.
    std::deque<Job>::iterator nextJob(bool anyKind)
    {
        return anyKind ? m_jobs.begin()
                       : std::find_if(m_jobs.begin(), m_jobs.end(),
                                      [](const Job &job) { return job.kind == Kind::Mp3; });
    }

    void work(bool anyKind)
    {
        std::condition_variable &ready = anyKind ? m_jobReady : m_soundReady;
        std::unique_lock lock(m_mutex);
        for (;;) {
            ready.wait(lock, [&] { return m_closing || nextJob(anyKind) != m_jobs.end(); });
            if (m_closing)
                return;
            const auto next = nextJob(anyKind);
            Job job = std::move(*next);
            m_jobs.erase(next);
            ++m_busy;
            lock.unlock();
            std::optional<Read> read;
            if (!m_cancel) {
                read = Read{readFile(job.path, job.kind, m_options), job.row};
                read->entry.size = job.stat.size;
                read->entry.mtimeNs = job.stat.mtimeNs;
                read->entry.ctimeNs = job.stat.ctimeNs;
                read->entry.inode = job.stat.inode;
            }
            lock.lock();
            --m_busy;
            if (read)
                m_done.push_back(std::move(*read));
            // Only the indexer's thread waits for finished entries (or for the last job).
            if (m_wanted > 0 && enoughDone())
                m_doneReady.notify_one();
        }
    }

    const ReadOptions &m_options;
    const std::atomic_bool &m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;   // the first worker waits for jobs
    std::condition_variable m_soundReady; // the others wait for MP3 files
    std::condition_variable m_doneReady;  // the indexer's thread waits for entries
    std::deque<Job> m_jobs;
    std::deque<Read> m_done;
    size_t m_busy = 0;
    size_t m_wanted = 0; // finished entries the waiting indexer's thread wants; 0: none waits
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

namespace {

qint64 nowNs()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// One folder on the way: how it looked before it was listed, and its names.
struct Folder
{
    QByteArray path;
    QByteArray key;
    FileStat stat;
    qint64 listedAtNs = 0;
    Listing listing;
    // Its stamp in the index matches: its files are taken as the index holds them.
    bool trusted = false;
};

// A path given to the run: a folder to walk, or a file (or a vanished path) on its own.
struct Root
{
    QByteArray path;
    bool isFolder;
};

// One run of the indexer, in its steps: find the folders and count their files, visit the
// files named on their own, visit every folder's files, drop what vanished, stamp the folders.
class IndexRun
{
public:
    IndexRun(Indexer &indexer, Store &store, const IndexOptions &options,
             const std::atomic_bool &cancel)
        : m_indexer(indexer), m_store(store), m_options(options),
          m_read(ReadOptions::forCustomList(options.customList)), m_cancel(cancel)
    {}

    IndexSummary run(const QList<QByteArray> &paths);

private:
    void gather(const QList<QByteArray> &paths);
    void walk(const QByteArray &root);
    QList<QByteArray> knownChildren(const QByteArray &root, const QByteArray &key);
    void visitNamedFile(const QByteArray &path, ReaderPool &pool);
    void visitFolder(const Folder &folder, ReaderPool &pool);
    void visitFile(const QByteArray &path, Kind kind, const FileStat &st,
                   const std::optional<Known> &known, ReaderPool &pool);
    void dropVanishedFolders();
    void stampFolders();

    void take(Read &read);
    void remove(qint64 id);
    void write();
    void commitIfDue(bool force);
    void report(bool force);

    Indexer &m_indexer;
    Store &m_store;
    const IndexOptions &m_options;
    const ReadOptions m_read;
    const std::atomic_bool &m_cancel;

    IndexSummary m_summary;
    QList<Root> m_roots;
    QList<Folder> m_folders;
    QSet<QPair<quint64, quint64>> m_visited; // a folder reached twice through links is read once
    QHash<QByteArray, QList<QByteArray>> m_knownBelow; // per root: folder keys the index knows
    QSet<QByteArray> m_submitted;                      // a file named twice is read once
    Progress m_progress;
    QElapsedTimer m_sinceProgress, m_sinceCommit;
    bool m_inTransaction = false;
    int m_batch = 0;
};

IndexSummary IndexRun::run(const QList<QByteArray> &paths)
{
    gather(paths);
    m_progress = Progress{0, m_summary.found};
    m_sinceProgress.start();
    report(true);
    const int threads =
        m_options.threads > 0 ? m_options.threads : qBound(1, QThread::idealThreadCount(), 4);
    try {
        ReaderPool pool(threads, m_read, m_cancel);
        const auto take = [this](Read &read) { this->take(read); };
        for (const Root &root : std::as_const(m_roots)) {
            if (!m_cancel && !root.isFolder)
                visitNamedFile(root.path, pool);
        }
        for (const Folder &folder : std::as_const(m_folders)) {
            if (m_cancel)
                break;
            visitFolder(folder, pool);
            pool.collect(take, false);
            commitIfDue(false);
        }
        pool.finish(take);
        if (!m_cancel) {
            dropVanishedFolders();
            stampFolders();
        }
        commitIfDue(true);
    } catch (...) {
        m_store.rollback();
        throw;
    }
    m_summary.cancelled = m_cancel;
    m_progress.found = qMax(m_progress.done, m_cancel ? m_progress.found : m_progress.done);
    report(true);
    return m_summary;
}

// The folders to visit and the number of files in them, so that progress can say "done of
// found"; each folder is listed once, and the listing is kept for its visit.
void IndexRun::gather(const QList<QByteArray> &paths)
{
    for (const QByteArray &given : paths) {
        const QByteArray path = absolutePath(given);
        const FileStat st = statPath(path);
        if (!st.exists) {
            m_summary.problems << QStringLiteral("%1: no such file or folder")
                                      .arg(pathbytes::display(pathbytes::decode(given)));
            m_roots << Root{path, false}; // its entry, if any, is dropped
            continue;
        }
        m_roots << Root{path, st.isDir};
        if (st.isDir)
            walk(path);
        else
            ++m_summary.found;
    }
}

void IndexRun::walk(const QByteArray &root)
{
    QList<QByteArray> pending{root};
    while (!pending.isEmpty() && !m_cancel) {
        Folder folder;
        folder.path = pending.takeLast();
        folder.key = keyOfFolder(folder.path);
        folder.stat = statPath(folder.path);
        if (!folder.stat.isDir || m_visited.contains({folder.stat.device, folder.stat.inode}))
            continue;
        m_visited.insert({folder.stat.device, folder.stat.inode});
        folder.listedAtNs = nowNs();
        if (m_options.trustFolderTimes) {
            const FolderStamp now{folder.stat.mtimeNs, folder.stat.ctimeNs, folder.stat.inode,
                                  m_read.planKey};
            folder.trusted = m_store.folderStamp(folder.key) == now;
        }
        QList<QByteArray> subfolders;
        if (folder.trusted) {
            if (m_options.recursive)
                subfolders = knownChildren(root, folder.key);
        } else {
            folder.listing = listFolder(folder.path);
            if (!folder.listing.ok) {
                m_summary.problems << QStringLiteral("%1: cannot read the folder")
                                          .arg(pathbytes::display(pathbytes::decode(folder.path)));
                continue;
            }
            m_summary.found += folder.listing.files.size();
            if (m_options.recursive) {
                for (const QByteArray &name : std::as_const(folder.listing.folders))
                    subfolders << joinPath(folder.path, name);
            }
        }
        pending << subfolders;
        m_folders << std::move(folder);
    }
}

// The subfolders of a trusted folder, as the index knows them: the folders that hold entries
// or stamps below it, cut to their first part below it.
QList<QByteArray> IndexRun::knownChildren(const QByteArray &root, const QByteArray &key)
{
    auto known = m_knownBelow.find(root);
    if (known == m_knownBelow.end()) {
        const QByteArray rootKey = keyOfFolder(root);
        known = m_knownBelow.insert(root, m_store.foldersWithEntriesBelow(rootKey) +
                                              m_store.stampedFoldersBelow(rootKey));
    }
    QSet<QByteArray> children;
    for (const QByteArray &below : std::as_const(*known)) {
        if (below.size() <= key.size() || !below.startsWith(key))
            continue;
        const qsizetype slash = below.indexOf('/', key.size());
        children.insert(below.left(slash)); // every key ends with "/"
    }
    return children.values();
}

void IndexRun::visitNamedFile(const QByteArray &path, ReaderPool &pool)
{
    const FileStat st = statPath(path);
    const std::optional<Known> known = m_store.known(path);
    if (!st.exists || st.isDir) {
        if (known)
            remove(known->id);
        return;
    }
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    // A file named on its own is read as an archive unless it is an MP3 file.
    visitFile(path, kindOfName(name).value_or(Kind::Zip), st, known, pool);
}

void IndexRun::visitFolder(const Folder &folder, ReaderPool &pool)
{
    if (folder.trusted)
        return;
    QHash<QByteArray, Known> known;
    for (Known &row : m_store.knownIn(folder.key, bool(m_indexer.onEntry))) {
        if (row.sound)
            known.insert(row.entry.path, std::move(row));
        else
            remove(row.id); // a damaged row: its file, if any, is read again
    }
    for (const QByteArray &name : folder.listing.files) {
        if (m_cancel)
            return;
        const QByteArray path = folder.key + name;
        const FileStat st = statPath(path);
        const auto it = known.constFind(path);
        std::optional<Known> row;
        if (it != known.constEnd()) {
            row = *it;
            known.erase(it);
        }
        if (st.exists && st.isFile) // else gone since the folder was listed
            visitFile(path, *kindOfName(name), st, row, pool);
    }
    // What the index still holds of this folder has vanished.
    for (const Known &gone : std::as_const(known))
        remove(gone.id);
}

void IndexRun::visitFile(const QByteArray &path, Kind kind, const FileStat &st,
                         const std::optional<Known> &known, ReaderPool &pool)
{
    if (m_submitted.contains(path))
        return;
    m_submitted.insert(path);
    const bool sound = known && known->sound;
    const Entry *held = sound ? &known->entry : nullptr;
    if (held && held->kind == kind && held->size == st.size && held->mtimeNs == st.mtimeNs &&
        held->ctimeNs == st.ctimeNs && held->inode == st.inode &&
        (kind == Kind::Mp3 || known->planKey == m_read.planKey)) {
        ++m_summary.unchanged;
        ++m_progress.done;
        if (m_indexer.onEntry)
            m_indexer.onEntry(*held);
        report(false);
        return;
    }
    pool.submit(Job{path, kind, st, known ? known->id : 0},
                [this](Read &read) { this->take(read); });
}

// Folders that vanished below a folder indexed at every level.
void IndexRun::dropVanishedFolders()
{
    if (!m_options.recursive)
        return;
    QSet<QByteArray> seen;
    for (const Folder &folder : std::as_const(m_folders))
        seen.insert(folder.key);
    for (const Root &root : std::as_const(m_roots)) {
        if (!root.isFolder)
            continue;
        const QByteArray key = keyOfFolder(root.path);
        for (const QByteArray &gone : m_store.foldersWithEntriesBelow(key)) {
            if (seen.contains(gone))
                continue;
            for (const Known &row : m_store.knownIn(gone, false))
                remove(row.id);
        }
        for (const QByteArray &gone : m_store.stampedFoldersBelow(key)) {
            if (!seen.contains(gone)) {
                write();
                m_store.dropFolderStamps(gone, false);
            }
        }
    }
}

// Each folder listed in full gets the stamp it had before it was listed, unless it changed
// within the second before: a change in the same tick of the file system's clock would not
// show in its times.
void IndexRun::stampFolders()
{
    for (const Folder &folder : std::as_const(m_folders)) {
        if (folder.trusted)
            continue;
        const FileStat &st = folder.stat;
        write();
        if (qMax(st.mtimeNs, st.ctimeNs) > folder.listedAtNs - 1000000000)
            m_store.dropFolderStamps(folder.key, false);
        else
            m_store.setFolderStamp(folder.key,
                                   FolderStamp{st.mtimeNs, st.ctimeNs, st.inode, m_read.planKey});
    }
}

void IndexRun::take(Read &read)
{
    Entry &entry = read.entry;
    limitDescription(entry);
    write();
    const qint64 plan = entry.kind == Kind::Zip ? m_read.planKey : 0;
    if (read.row)
        m_store.replace(read.row, entry, plan);
    else
        m_store.add(entry, plan);
    ++m_summary.read;
    ++m_progress.done;
    if (m_indexer.onEntry)
        m_indexer.onEntry(entry);
    commitIfDue(false);
    report(false);
}

void IndexRun::remove(qint64 id)
{
    write();
    m_store.remove(id);
    ++m_summary.removed;
}

void IndexRun::write()
{
    if (!m_inTransaction) {
        m_store.begin();
        m_inTransaction = true;
        m_sinceCommit.start();
    }
    ++m_batch;
}

void IndexRun::commitIfDue(bool force)
{
    if (m_inTransaction && (force || m_batch >= BatchFiles || m_sinceCommit.elapsed() >= BatchMs)) {
        m_store.commit();
        m_inTransaction = false;
        m_batch = 0;
    }
}

void IndexRun::report(bool force)
{
    if (m_indexer.onProgress && (force || m_sinceProgress.elapsed() >= ProgressMs)) {
        m_progress.found = qMax(m_progress.found, m_progress.done);
        m_indexer.onProgress(m_progress);
        m_sinceProgress.restart();
    }
}

} // namespace

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
    return IndexRun(*this, m_index.store(), m_options, m_cancel).run(paths);
}

} // namespace catalog
