#include "catalog/store.h"

#include "common/pathbytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

namespace catalog {

namespace {

// "QRL1": marks the file as this program's index.
constexpr int ApplicationId = 0x51524c31;
// Raised whenever the tables change; an index of another version is moved aside and rebuilt.
constexpr int SchemaVersion = 2;

const char *const Schema = R"(
CREATE TABLE files(
    id INTEGER PRIMARY KEY,
    path BLOB NOT NULL UNIQUE,
    dir BLOB NOT NULL,
    kind INTEGER NOT NULL,
    size INTEGER NOT NULL,
    mtime INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    plan INTEGER NOT NULL,
    members INTEGER,
    member TEXT,
    description TEXT,
    title TEXT, artist TEXT, album TEXT, year TEXT, comment TEXT, genre TEXT, track INTEGER,
    error TEXT,
    format TEXT NOT NULL DEFAULT '',
    details TEXT NOT NULL DEFAULT ''
);
CREATE INDEX files_dir ON files(dir);
CREATE VIRTUAL TABLE texts USING fts5(name, body, tokenize = 'unicode61 remove_diacritics 2');
)";

QByteArray dirOf(const QByteArray &path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

} // namespace

QByteArray folderKey(const QByteArray &path)
{
    return dirOf(path);
}

QByteArray folderKeyEnd(const QByteArray &folderKeyWithSlash)
{
    QByteArray end = folderKeyWithSlash;
    end[end.size() - 1] = char('/' + 1);
    return end;
}

QString defaultIndexPath()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/quoril/index.sqlite");
}

QString Entry::fileName() const
{
    return pathbytes::display(pathbytes::decode(path.mid(path.lastIndexOf('/') + 1)));
}

QString Entry::displayPath() const
{
    return pathbytes::display(pathbytes::decode(path));
}

QString Entry::detail(const QString &key) const
{
    for (const auto &[k, value] : details) {
        if (k == key)
            return value;
    }
    return {};
}

void Entry::setDetail(const QString &key, const QString &value)
{
    for (auto &[k, v] : details) {
        if (k == key) {
            v = value;
            return;
        }
    }
    details.append({key, value});
}

const QStringList &Entry::factKeys()
{
    static const QStringList keys{QStringLiteral("codepage"), QStringLiteral("id3v1"),
                                  QStringLiteral("truncated")};
    return keys;
}

QString Entry::body() const
{
    QStringList fields;
    if (kind == Kind::Zip) {
        if (description)
            fields << *description;
    } else {
        for (const QString *field : {&title, &artist, &album, &year, &comment, &genre}) {
            if (!field->isEmpty())
                fields << *field;
        }
    }
    for (const auto &[key, value] : details) {
        if (!value.isEmpty() && !factKeys().contains(key))
            fields << value;
    }
    return fields.join(QLatin1Char('\n'));
}

namespace {

// Details are kept in one column as "key<TAB>value" lines, with backslash, tab and line end in
// values escaped, so that any text survives.
QString packDetails(const QList<std::pair<QString, QString>> &details)
{
    QString packed;
    for (const auto &[key, value] : details) {
        packed += key + QLatin1Char('\t');
        for (const QChar c : value) {
            if (c == QLatin1Char('\\'))
                packed += QLatin1String("\\\\");
            else if (c == QLatin1Char('\t'))
                packed += QLatin1String("\\t");
            else if (c == QLatin1Char('\n'))
                packed += QLatin1String("\\n");
            else
                packed += c;
        }
        packed += QLatin1Char('\n');
    }
    return packed;
}

QList<std::pair<QString, QString>> unpackDetails(const QString &packed)
{
    QList<std::pair<QString, QString>> details;
    for (const QString &line : packed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab < 0)
            continue;
        QString value;
        for (qsizetype i = tab + 1; i < line.size(); ++i) {
            if (line[i] == QLatin1Char('\\') && i + 1 < line.size()) {
                const QChar next = line[++i];
                value += next == QLatin1Char('t')   ? QChar(u'\t')
                         : next == QLatin1Char('n') ? QChar(u'\n')
                                                    : next;
            } else {
                value += line[i];
            }
        }
        details.append({line.left(tab), value});
    }
    return details;
}

} // namespace

Index::Impl::~Impl()
{
    close();
}

void Index::Impl::close()
{
    selectPath.reset();
    selectFolder.reset();
    upsert.reset();
    deleteFile.reset();
    deleteText.reset();
    insertText.reset();
    folderKeys.reset();
    if (db)
        sqlite3_close(db);
    db = nullptr;
}

void Index::Impl::open(const QString &path)
{
    file = path;
    const bool memory = path == QLatin1String(":memory:");
    if (!memory) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            throw IndexError(QStringLiteral("cannot create the folder %1").arg(folder));
    }
    const QByteArray name = memory ? QByteArray(":memory:") : QFile::encodeName(path);
    const int rc =
        sqlite3_open_v2(name.constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        close();
        throw IndexError(
            QStringLiteral("cannot open the collection index %1: %2").arg(path, reason));
    }
    // Another process indexing at the same time holds the write lock for one short batch.
    sqlite3_busy_timeout(db, 30000);
    sqlite3_extended_result_codes(db, 1);
    if (!memory) {
        // Switching a new file to WAL needs it alone: while another connection opens it too,
        // the switch says "locked" at once instead of waiting, and is tried again.
        const auto started = std::chrono::steady_clock::now();
        int walRc;
        while (((walRc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr)) &
                0xff) == SQLITE_BUSY &&
               std::chrono::steady_clock::now() - started < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        sql::check(db, walRc, "PRAGMA journal_mode = WAL");
        // In WAL mode a commit survives a killed process; only a power cut may lose the last one.
        sql::exec(db, "PRAGMA synchronous = NORMAL");
    }

    sql::Statement version(db, "SELECT (SELECT application_id FROM pragma_application_id), "
                               "(SELECT user_version FROM pragma_user_version), "
                               "(SELECT count(*) FROM sqlite_master)");
    version.step();
    const qint64 app = version.integer(0), schema = version.integer(1), tables = version.integer(2);
    version.reset();
    if (app == ApplicationId && schema == SchemaVersion)
        return prepare();
    if (app == 0 && tables == 0) {
        // Two processes may begin the same new index: the second finds it made.
        sql::exec(db, "BEGIN IMMEDIATE");
        try {
            sql::Statement again(db, "SELECT count(*) FROM sqlite_master");
            again.step();
            const bool empty = again.integer(0) == 0;
            again.reset();
            if (empty) {
                sql::exec(db, Schema);
                sql::exec(db, QStringLiteral("PRAGMA application_id = %1; PRAGMA user_version = %2")
                                  .arg(ApplicationId)
                                  .arg(SchemaVersion)
                                  .toUtf8()
                                  .constData());
            }
            sql::exec(db, "COMMIT");
        } catch (...) {
            rollback();
            throw;
        }
        return prepare();
    }
    if (app == ApplicationId)
        throw IndexDamaged(QStringLiteral("it was made by another version of the program"));
    throw IndexDamaged(QStringLiteral("it is not a collection index"));
}

void Index::Impl::prepare()
{
    selectPath = std::make_unique<sql::Statement>(
        db, (QByteArray("SELECT ") + entryColumns() + " FROM files WHERE path = ?1").constData());
    selectFolder = std::make_unique<sql::Statement>(
        db, "SELECT id, path, size, mtime, inode, plan FROM files WHERE dir = ?1");
    upsert = std::make_unique<sql::Statement>(
        db, "INSERT INTO files(path, dir, kind, size, mtime, inode, plan, members, member, "
            "description, title, artist, album, year, comment, genre, track, error, format, "
            "details) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, "
            "?16, ?17, ?18, ?19, ?20) ON CONFLICT(path) DO UPDATE SET dir = excluded.dir, kind = "
            "excluded.kind, "
            "size = excluded.size, mtime = excluded.mtime, inode = excluded.inode, "
            "plan = excluded.plan, members = excluded.members, member = excluded.member, "
            "description = excluded.description, title = excluded.title, "
            "artist = excluded.artist, album = excluded.album, year = excluded.year, "
            "comment = excluded.comment, genre = excluded.genre, track = excluded.track, "
            "error = excluded.error, format = excluded.format, details = excluded.details "
            "RETURNING id");
    deleteFile = std::make_unique<sql::Statement>(db, "DELETE FROM files WHERE id = ?1");
    deleteText = std::make_unique<sql::Statement>(db, "DELETE FROM texts WHERE rowid = ?1");
    insertText = std::make_unique<sql::Statement>(
        db, "INSERT INTO texts(rowid, name, body) VALUES(?1, ?2, ?3)");
    folderKeys = std::make_unique<sql::Statement>(
        db, "SELECT DISTINCT dir FROM files WHERE dir >= ?1 AND dir < ?2");
}

const char *Index::Impl::entryColumns()
{
    return "path, kind, size, mtime, inode, members, member, description, title, artist, album, "
           "year, comment, genre, track, error, format, details";
}

Entry Index::Impl::readEntry(const sql::Statement &s, int c)
{
    Entry e;
    e.path = s.blob(c);
    e.kind = s.integer(c + 1) == 1 ? Kind::Mp3 : Kind::Zip;
    e.size = s.integer(c + 2);
    e.mtimeNs = s.integer(c + 3);
    e.inode = quint64(s.integer(c + 4));
    e.members = s.isNull(c + 5) ? -1 : int(s.integer(c + 5));
    if (!s.isNull(c + 6))
        e.member = s.text(c + 6);
    if (!s.isNull(c + 7))
        e.description = s.text(c + 7);
    e.title = s.text(c + 8);
    e.artist = s.text(c + 9);
    e.album = s.text(c + 10);
    e.year = s.text(c + 11);
    e.comment = s.text(c + 12);
    e.genre = s.text(c + 13);
    e.track = int(s.integer(c + 14));
    if (!s.isNull(c + 15))
        e.error = s.text(c + 15);
    e.format = s.text(c + 16);
    e.details = unpackDetails(s.text(c + 17));
    return e;
}

void Index::Impl::begin()
{
    sql::exec(db, "BEGIN IMMEDIATE");
}

void Index::Impl::commit()
{
    sql::exec(db, "COMMIT");
}

void Index::Impl::rollback() noexcept
{
    if (db && !sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Index::Impl::store(const Entry &e, qint64 planKey)
{
    auto optional = [this](int i, const std::optional<QString> &value) {
        if (value)
            upsert->bind(i, *value);
        else
            upsert->bindNull(i);
    };
    upsert->bind(1, e.path).bind(2, dirOf(e.path)).bind(3, qint64(e.kind == Kind::Mp3 ? 1 : 0));
    upsert->bind(4, e.size).bind(5, e.mtimeNs).bind(6, qint64(e.inode)).bind(7, planKey);
    if (e.kind == Kind::Zip && e.members >= 0)
        upsert->bind(8, qint64(e.members));
    else
        upsert->bindNull(8);
    optional(9, e.member);
    optional(10, e.description);
    int column = 11;
    for (const QString *field : {&e.title, &e.artist, &e.album, &e.year, &e.comment, &e.genre})
        upsert->bind(column++, *field);
    upsert->bind(17, qint64(e.track));
    optional(18, e.error);
    upsert->bind(19, e.format).bind(20, packDetails(e.details));
    if (!upsert->step())
        throw IndexError(QStringLiteral("collection index: no row stored"));
    const qint64 id = upsert->integer(0);
    while (upsert->step()) {
    }
    upsert->reset();

    deleteText->bind(1, id);
    deleteText->step();
    deleteText->reset();
    insertText->bind(1, id).bind(2, e.fileName()).bind(3, e.body());
    insertText->step();
    insertText->reset();
}

void Index::Impl::remove(qint64 id)
{
    deleteFile->bind(1, id);
    deleteFile->step();
    deleteFile->reset();
    deleteText->bind(1, id);
    deleteText->step();
    deleteText->reset();
}

Index::Index(const QString &file) : m_impl(std::make_unique<Impl>())
{
    try {
        m_impl->open(file);
    } catch (const IndexDamaged &damage) {
        rebuild(damage.message());
    }
}

Index::~Index() = default;

QString Index::file() const
{
    return m_impl->file;
}

QString Index::notice() const
{
    return m_impl->notice;
}

void Index::rebuild(const QString &reason)
{
    const QString file = m_impl->file;
    m_impl->rollback();
    m_impl->close();
    if (file == QLatin1String(":memory:"))
        return m_impl->open(file);
    const QString aside = file + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (!QFile::rename(file, aside))
        throw IndexError(QStringLiteral("the collection index %1 cannot be used (%2) and cannot "
                                        "be moved aside")
                             .arg(file, reason));
    QFile::remove(file + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
    m_impl->open(file);
    m_impl->notice = QStringLiteral("The collection index %1 could not be used (%2); it was "
                                    "moved aside to %3 and is built anew.")
                         .arg(file, reason, aside);
}

std::optional<Entry> Index::lookup(const QByteArray &path) const
{
    sql::Statement &s = *m_impl->selectPath;
    s.bind(1, path);
    std::optional<Entry> entry;
    if (s.step())
        entry = Impl::readEntry(s);
    s.reset();
    return entry;
}

} // namespace catalog
