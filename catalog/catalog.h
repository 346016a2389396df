// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

// The collection index: every archive's description and every MP3 file's tag under the folders
// a user looks at, kept in an SQLite database that is only a cache (deleting it loses nothing).
//
// Threads: an Index is one connection and belongs to the thread that made it; every thread
// (a QThread running an Indexer, the user-interface thread answering queries and tooltips,
// another process) opens its own. Writers commit in short transactions in WAL mode, so readers
// never wait for a whole indexing run and a killed process loses at most its last batch.
namespace catalog {

// A failure of the index itself (cannot create the cache folder, the disk is full, ...).
class IndexError : public std::runtime_error
{
public:
    explicit IndexError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// The index file is not a sound database (damaged since it was opened). Index::rebuild()
// moves it aside and begins anew.
class IndexDamaged : public IndexError
{
public:
    using IndexError::IndexError;
};

enum class Kind { Zip, Mp3 };

class Store;

// What the index holds for one file. Paths are the exact bytes of the file system.
struct Entry
{
    QByteArray path;
    Kind kind = Kind::Zip;
    qint64 size = 0;
    qint64 mtimeNs = 0; // modification time, nanoseconds since 1970 UTC
    qint64 ctimeNs = 0; // change time (of the inode), the same unit
    quint64 inode = 0;

    // Archives: the member count, the member Auto select found and its text as the
    // description pane shows it (CP437, lines joined with "\n", no final line end).
    int members = -1; // -1 when the archive could not be read
    std::optional<QString> member;
    std::optional<QString> description;

    // MP3 files: the ID3v1 fields as the tag pane shows them; track 0 means none.
    QString title, artist, album, year, comment, genre;
    int track = 0;

    // The container's format as its reader names it ("zip", "lha", "rar", "7z", ..., "mp3").
    QString format;
    // Further facts a reader found, in the order it found them, keyed by short names such as
    // "codepage", "comment" (an archive comment), "sauce.title", "id3v2.artist" or "id3v1".
    // Every value is searchable text except those of the keys in Entry::factKeys().
    QList<std::pair<QString, QString>> details;
    QString detail(const QString &key) const;
    void setDetail(const QString &key, const QString &value);
    // Keys whose values say how a file was read rather than what it holds.
    static const QStringList &factKeys();

    // Why the file could not be read; none when it was.
    std::optional<QString> error;

    // The file name (text after the last "/") and the path, decoded for display.
    QString fileName() const;
    QString displayPath() const;
    // The searchable text: the description, or the tag fields one per line, then the values of
    // the details that are not facts, one per line.
    QString body() const;
};

// A folder (one level or every level below it) or a single file whose entries a query covers.
struct Scope
{
    QByteArray path;
    bool recursive = false;
};

// The absolute, cleaned form of a path (no "." or ".." parts, no doubled "/"), bytes kept;
// relative paths are taken from the current folder. Entries are stored under this form.
QByteArray absolutePath(const QByteArray &path);

// The default place of the index: ${XDG_CACHE_HOME:-~/.cache}/quoril/index.sqlite.
QString defaultIndexPath();

class Index
{
public:
    // Opens (creating when missing) the index at `file`; ":memory:" keeps it in memory only.
    // A file that is damaged, foreign or of another schema version is moved aside and a new
    // index is begun: notice() then says so, once. Throws IndexError when no index can be had.
    explicit Index(const QString &file = defaultIndexPath());
    ~Index();
    Index(const Index &) = delete;
    Index &operator=(const Index &) = delete;

    QString file() const;
    // Empty unless opening moved a damaged or foreign file aside.
    QString notice() const;
    // Moves the index file aside (after an IndexDamaged) and opens a new one; notice() says so.
    void rebuild(const QString &reason);

    // What the index holds for one path, or nothing; one indexed look-up, cheap enough for a
    // tooltip. The entry may be stale: the file is not looked at.
    std::optional<Entry> lookup(const QByteArray &path) const;
    // Every entry within the scopes, sorted by path bytes.
    QList<Entry> entries(const QList<Scope> &scopes) const;
    // The same, one at a time, without holding them all in memory.
    void forEachEntry(const QList<Scope> &scopes,
                      const std::function<void(const Entry &)> &visit) const;

    // The tables behind the index, for the indexer and the queries (catalog/store.h).
    Store &store() const { return *m_store; }

private:
    std::unique_ptr<Store> m_store;
};

struct Progress
{
    qint64 done = 0;  // files read or found unchanged
    qint64 found = 0; // files found so far under the paths
};

struct IndexOptions
{
    bool recursive = false;
    // The user's custom description names, in list order: the last step of Auto select.
    QStringList customList;
    // Worker threads reading files; 0 chooses from the number of cores.
    int threads = 0;
    // Folders whose own times (modification, change, inode) are as they were when their files
    // were last brought up to date are taken as they are, their files not looked at: answers
    // are then as fresh as the folders' change times say, at the cost of one look per folder.
    bool trustFolderTimes = false;
};

struct IndexSummary
{
    qint64 found = 0;
    qint64 read = 0;      // files read afresh (new or changed)
    qint64 unchanged = 0; // files whose path, size, times and inode matched the index
    qint64 removed = 0;   // entries of vanished files dropped
    bool cancelled = false;
    // Paths that could not be looked at (missing, unreadable folder), with the reason.
    QStringList problems;
};

// Brings the index up to date for files and folders. run() works on the calling thread (a
// QThread's run, or the main thread of the command-line tool) with worker threads reading the
// files; the callbacks are called on the calling thread. cancel() may be called from any thread
// and leaves the index consistent: what was read so far is kept.
class Indexer
{
public:
    Indexer(Index &index, IndexOptions options);
    ~Indexer();

    // Each file as its entry is known (read afresh or found unchanged), in no particular order.
    std::function<void(const Entry &)> onEntry;
    // At most a few times a second, and once at the end.
    std::function<void(const Progress &)> onProgress;

    IndexSummary run(const QList<QByteArray> &paths);
    void cancel();
    bool isCancelled() const;

private:
    Index &m_index;
    IndexOptions m_options;
    std::atomic_bool m_cancel{false};
};

// A search query: words that must all match, in any order, case-insensitively and ignoring
// accents; "two words" is a phrase; word* a prefix.
class Query
{
public:
    // An invalid query keeps the reason in error().
    static Query parse(const QString &text);
    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    // Whether the entry's file name, description or tag fields match, judged on the entry alone
    // (for entries delivered while indexing runs).
    bool matches(const Entry &entry) const;
    // The first line of the description or tag that holds a match of any term, or the file
    // name when only the name matched; empty when nothing matched.
    QString firstMatchingLine(const Entry &entry) const;
    // The same for an entry known to match (a hit of the full-text index): no second check.
    QString matchingLine(const Entry &entry) const;

    struct Term
    {
        QStringList words; // folded; more than one word makes a phrase
        bool prefix = false;
        bool excluded = false; // "-word": a file holding it does not match
    };
    const QList<Term> &terms() const { return m_terms; }
    // The query in the full-text engine's syntax.
    QString ftsExpression() const;

private:
    QList<Term> m_terms;
    QString m_error;
};

// Folds text as the query compares it: accents removed, case folded.
QString foldText(const QString &text);

struct Hit
{
    Entry entry;
    QString match; // the first matching line
};

// Entries within the scopes that match, best match first (ties by path); at most `limit` when
// it is positive. Answers from the index alone.
QList<Hit> search(const Index &index, const Query &query, const QList<Scope> &scopes,
                  int limit = 0);

} // namespace catalog
