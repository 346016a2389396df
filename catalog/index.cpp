// SPDX-License-Identifier: GPL-3.0-or-later
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
constexpr int SchemaVersion = 3;

const char *const Schema = R"(
CREATE TABLE files(
    id INTEGER PRIMARY KEY,
    path BLOB NOT NULL UNIQUE,
    dir BLOB NOT NULL,
    kind INTEGER NOT NULL,
    size INTEGER NOT NULL,
    mtime INTEGER NOT NULL,
    ctime INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    plan INTEGER NOT NULL,
    members INTEGER,
    member TEXT,
    description TEXT,
    title TEXT, artist TEXT, album TEXT, year TEXT, comment TEXT, genre TEXT, track INTEGER,
    error TEXT,
    format TEXT NOT NULL DEFAULT '',
    details TEXT NOT NULL DEFAULT '',
    sum INTEGER NOT NULL
);
CREATE INDEX files_dir ON files(dir);
CREATE TABLE folders(
    path BLOB PRIMARY KEY,
    mtime INTEGER NOT NULL,
    ctime INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    plan INTEGER NOT NULL
) WITHOUT ROWID;
CREATE VIRTUAL TABLE texts USING fts5(name, body, tokenize = 'unicode61 remove_diacritics 2');
)";

} // namespace

// The columns every entry query selects, in the order readRow expects them.
const char *const Store::EntryColumns =
    "f.id, f.path, f.dir, f.kind, f.size, f.mtime, f.ctime, f.inode, f.plan, f.members, "
    "f.member, f.description, f.title, f.artist, f.album, f.year, f.comment, f.genre, f.track, "
    "f.error, f.format, f.details, f.sum";
namespace {

const char *const EntryNames =
    "path, dir, kind, size, mtime, ctime, inode, plan, members, member, description, title, "
    "artist, album, year, comment, genre, track, error, format, details, sum";

QByteArray dirOf(const QByteArray &path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

} // namespace

QByteArray folderKey(const QByteArray &path)
{
    return dirOf(path);
}

QByteArray keyOfFolder(const QByteArray &folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
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
                                  QStringLiteral("id3v2.error"), QStringLiteral("truncated")};
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

namespace {

// FNV-1a over every field with its length: what the checksum of an entry covers.
class Checksum
{
public:
    Checksum &add(const char *data, qsizetype size)
    {
        add(qint64(size));
        for (qsizetype i = 0; i < size; ++i)
            byte(uchar(data[i]));
        return *this;
    }
    Checksum &add(const QByteArray &bytes) { return add(bytes.constData(), bytes.size()); }
    Checksum &add(const QString &text) { return add(text.toUtf8()); }
    Checksum &add(const std::optional<QString> &text)
    {
        add(qint64(text ? 1 : 0));
        return text ? add(*text) : *this;
    }
    Checksum &add(qint64 value)
    {
        for (int i = 0; i < 8; ++i)
            byte(uchar(quint64(value) >> (8 * i)));
        return *this;
    }
    qint64 value() const { return qint64(m_hash); }

private:
    void byte(uchar b)
    {
        m_hash ^= b;
        m_hash *= 1099511628211ull;
    }
    quint64 m_hash = 14695981039346656037ull;
};

qint64 checksumOf(const Entry &e, qint64 planKey, const QString &packedDetails)
{
    Checksum sum;
    sum.add(e.path).add(qint64(e.kind == Kind::Mp3)).add(e.size).add(e.mtimeNs).add(e.ctimeNs);
    sum.add(qint64(e.inode)).add(planKey).add(qint64(e.members)).add(e.member).add(e.description);
    for (const QString *field : {&e.title, &e.artist, &e.album, &e.year, &e.comment, &e.genre})
        sum.add(*field);
    sum.add(qint64(e.track)).add(e.error).add(e.format).add(packedDetails);
    return sum.value();
}

} // namespace

Store::~Store()
{
    close();
}

void Store::close()
{
    for (auto *statement :
         {&m_selectPath, &m_selectFolder, &m_insert, &m_update, &m_delete, &m_deleteText,
          &m_insertText, &m_insertNewText, &m_folderKeys, &m_selectStamp, &m_upsertStamp,
          &m_dropStamp, &m_dropStampsBelow, &m_stampsBelow})
        statement->reset();
    if (m_db) {
        sql::nameDatabase(m_db, QString());
        sqlite3_close(m_db);
    }
    m_db = nullptr;
}

void Store::open(const QString &path)
{
    m_file = path;
    const bool memory = path == QLatin1String(":memory:");
    if (!memory) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            throw IndexError(QStringLiteral("cannot create the folder %1").arg(folder));
    }
    const QByteArray name = memory ? QByteArray(":memory:") : QFile::encodeName(path);
    const int rc =
        sqlite3_open_v2(name.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        close();
        throw IndexError(sql::failureText(path, rc));
    }
    sql::nameDatabase(m_db, path);
    // Another process indexing at the same time holds the write lock for one short batch.
    sqlite3_busy_timeout(m_db, 30000);
    sqlite3_extended_result_codes(m_db, 1);
    if (!memory) {
        // Switching a new file to WAL needs it alone: while another connection opens it too,
        // the switch says "locked" at once instead of waiting, and is tried again.
        const auto started = std::chrono::steady_clock::now();
        int walRc;
        while (
            ((walRc = sqlite3_exec(m_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr)) &
             0xff) == SQLITE_BUSY &&
            std::chrono::steady_clock::now() - started < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        sql::check(m_db, walRc, "PRAGMA journal_mode = WAL");
        // In WAL mode a commit survives a killed process; only a power cut may lose the last one.
        sql::exec(m_db, "PRAGMA synchronous = NORMAL");
    }

    sql::Statement version(m_db, "SELECT (SELECT application_id FROM pragma_application_id), "
                                 "(SELECT user_version FROM pragma_user_version), "
                                 "(SELECT count(*) FROM sqlite_master)");
    version.step();
    const qint64 app = version.integer(0), schema = version.integer(1), tables = version.integer(2);
    version.reset();
    if (app == ApplicationId && schema == SchemaVersion)
        return prepare();
    if (app == 0 && tables == 0) {
        // Two processes may begin the same new index: the second finds it made.
        sql::exec(m_db, "BEGIN IMMEDIATE");
        try {
            sql::Statement again(m_db, "SELECT count(*) FROM sqlite_master");
            again.step();
            const bool empty = again.integer(0) == 0;
            again.reset();
            if (empty) {
                sql::exec(m_db, Schema);
                sql::exec(m_db,
                          QStringLiteral("PRAGMA application_id = %1; PRAGMA user_version = %2")
                              .arg(ApplicationId)
                              .arg(SchemaVersion)
                              .toUtf8()
                              .constData());
            }
            sql::exec(m_db, "COMMIT");
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

void Store::prepare()
{
    const auto statement = [this](const QByteArray &sql) {
        return std::make_unique<sql::Statement>(m_db, sql.constData());
    };
    const QByteArray select = QByteArray("SELECT ") + EntryColumns + " FROM files f WHERE ";
    m_selectPath = statement(select + "f.path = ?1");
    m_selectFolder = statement(select + "f.dir = ?1");
    m_insert = statement(QByteArray("INSERT INTO files(") + EntryNames +
                         ") VALUES(?1, ?2, ?3, "
                         "?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, "
                         "?19, ?20, ?21, ?22)");
    m_update = statement("UPDATE files SET path = ?1, dir = ?2, kind = ?3, size = ?4, mtime = ?5, "
                         "ctime = ?6, inode = ?7, plan = ?8, members = ?9, member = ?10, "
                         "description = ?11, title = ?12, artist = ?13, album = ?14, year = ?15, "
                         "comment = ?16, genre = ?17, track = ?18, error = ?19, format = ?20, "
                         "details = ?21, sum = ?22 WHERE id = ?23 RETURNING id");
    m_delete = statement("DELETE FROM files WHERE id = ?1");
    m_deleteText = statement("DELETE FROM texts WHERE rowid = ?1");
    m_insertText = statement("INSERT INTO texts(rowid, name, body) VALUES(?1, ?2, ?3)");
    m_insertNewText =
        statement("INSERT INTO texts(rowid, name, body) VALUES(last_insert_rowid(), ?2, ?3)");
    m_folderKeys = statement("SELECT DISTINCT dir FROM files WHERE dir >= ?1 AND dir < ?2");
    m_selectStamp = statement("SELECT mtime, ctime, inode, plan FROM folders WHERE path = ?1");
    m_upsertStamp = statement("INSERT OR REPLACE INTO folders(path, mtime, ctime, inode, plan) "
                              "VALUES(?1, ?2, ?3, ?4, ?5)");
    m_dropStamp = statement("DELETE FROM folders WHERE path = ?1");
    m_dropStampsBelow = statement("DELETE FROM folders WHERE path >= ?1 AND path < ?2");
    m_stampsBelow = statement("SELECT path FROM folders WHERE path > ?1 AND path < ?2");
}

Known Store::readRow(const sql::Statement &s)
{
    Known known;
    known.id = s.integer(0);
    Entry &e = known.entry;
    e.path = s.blob(1);
    const QByteArray dir = s.blob(2);
    e.kind = s.integer(3) == 1 ? Kind::Mp3 : Kind::Zip;
    e.size = s.integer(4);
    e.mtimeNs = s.integer(5);
    e.ctimeNs = s.integer(6);
    e.inode = quint64(s.integer(7));
    known.planKey = s.integer(8);
    e.members = s.isNull(9) ? -1 : int(s.integer(9));
    if (!s.isNull(10))
        e.member = s.text(10);
    if (!s.isNull(11))
        e.description = s.text(11);
    int column = 12;
    for (QString *field : {&e.title, &e.artist, &e.album, &e.year, &e.comment, &e.genre})
        *field = s.text(column++);
    e.track = int(s.integer(18));
    if (!s.isNull(19))
        e.error = s.text(19);
    e.format = s.text(20);
    const QString packed = s.text(21);
    e.details = unpackDetails(packed);
    known.sound = dir == folderKey(e.path) && s.integer(22) == checksumOf(e, known.planKey, packed);
    return known;
}

void Store::begin()
{
    sql::exec(m_db, "BEGIN IMMEDIATE");
}

void Store::commit()
{
    sql::exec(m_db, "COMMIT");
}

void Store::rollback() noexcept
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::optional<Known> Store::known(const QByteArray &path)
{
    sql::Statement &s = *m_selectPath;
    s.bind(1, path);
    std::optional<Known> found;
    if (s.step())
        found = readRow(s);
    s.reset();
    return found;
}

QList<Known> Store::knownIn(const QByteArray &key, bool whole)
{
    sql::Statement &s = *m_selectFolder;
    s.bind(1, key);
    QList<Known> rows;
    while (s.step()) {
        rows << readRow(s);
        if (!whole) {
            Entry &held = rows.last().entry;
            Entry stamp;
            stamp.path = held.path;
            stamp.kind = held.kind;
            stamp.size = held.size;
            stamp.mtimeNs = held.mtimeNs;
            stamp.ctimeNs = held.ctimeNs;
            stamp.inode = held.inode;
            held = std::move(stamp);
        }
    }
    s.reset();
    return rows;
}

void Store::write(sql::Statement &s, const Entry &e, qint64 planKey)
{
    auto optional = [&s](int i, const std::optional<QString> &value) {
        if (value)
            s.bind(i, *value);
        else
            s.bindNull(i);
    };
    s.bind(1, e.path).bind(2, dirOf(e.path)).bind(3, qint64(e.kind == Kind::Mp3 ? 1 : 0));
    s.bind(4, e.size).bind(5, e.mtimeNs).bind(6, e.ctimeNs).bind(7, qint64(e.inode));
    s.bind(8, planKey);
    if (e.members >= 0)
        s.bind(9, qint64(e.members));
    else
        s.bindNull(9);
    optional(10, e.member);
    optional(11, e.description);
    int column = 12;
    for (const QString *field : {&e.title, &e.artist, &e.album, &e.year, &e.comment, &e.genre})
        s.bind(column++, *field);
    s.bind(18, qint64(e.track));
    optional(19, e.error);
    const QString packed = packDetails(e.details);
    s.bind(20, e.format).bind(21, packed).bind(22, checksumOf(e, planKey, packed));
}

// The text row of the file row `id`; 0 stands for the row inserted last.
void Store::storeText(qint64 id, const Entry &e, bool replacing)
{
    if (replacing) {
        m_deleteText->bind(1, id);
        m_deleteText->step();
        m_deleteText->reset();
    }
    sql::Statement &insert = id ? *m_insertText : *m_insertNewText;
    if (id)
        insert.bind(1, id);
    insert.bind(2, e.fileName()).bind(3, e.body());
    insert.step();
    insert.reset();
}

void Store::add(const Entry &e, qint64 planKey)
{
    write(*m_insert, e, planKey);
    const bool added = m_insert->stepUnlessConflict();
    m_insert->reset();
    if (!added) {
        // Another process stored the same new file first.
        if (const std::optional<Known> other = known(e.path))
            return replace(other->id, e, planKey);
    }
    storeText(0, e, false);
}

void Store::replace(qint64 id, const Entry &e, qint64 planKey)
{
    write(*m_update, e, planKey);
    m_update->bind(23, id);
    const bool updated = m_update->step();
    m_update->reset();
    if (!updated)
        return add(e, planKey); // another process removed the row meanwhile
    storeText(id, e, true);
}

void Store::remove(qint64 id)
{
    m_delete->bind(1, id);
    m_delete->step();
    m_delete->reset();
    m_deleteText->bind(1, id);
    m_deleteText->step();
    m_deleteText->reset();
}

namespace {

// The folder keys a statement over the key range ?1 to ?2 gives for the folder `key` and the
// folders below it.
QList<QByteArray> keysBelow(sql::Statement &s, const QByteArray &key)
{
    s.bind(1, key).bind(2, folderKeyEnd(key));
    QList<QByteArray> keys;
    while (s.step())
        keys << s.blob(0);
    s.reset();
    return keys;
}

} // namespace

QList<QByteArray> Store::foldersWithEntriesBelow(const QByteArray &key)
{
    return keysBelow(*m_folderKeys, key);
}

std::optional<FolderStamp> Store::folderStamp(const QByteArray &key)
{
    sql::Statement &s = *m_selectStamp;
    s.bind(1, key);
    std::optional<FolderStamp> stamp;
    if (s.step())
        stamp = FolderStamp{s.integer(0), s.integer(1), quint64(s.integer(2)), s.integer(3)};
    s.reset();
    return stamp;
}

void Store::setFolderStamp(const QByteArray &key, const FolderStamp &stamp)
{
    sql::Statement &s = *m_upsertStamp;
    s.bind(1, key).bind(2, stamp.mtimeNs).bind(3, stamp.ctimeNs).bind(4, qint64(stamp.inode));
    s.bind(5, stamp.planKey);
    s.step();
    s.reset();
}

void Store::dropFolderStamps(const QByteArray &key, bool below)
{
    sql::Statement &s = below ? *m_dropStampsBelow : *m_dropStamp;
    s.bind(1, key);
    if (below)
        s.bind(2, folderKeyEnd(key));
    s.step();
    s.reset();
}

QList<QByteArray> Store::stampedFoldersBelow(const QByteArray &key)
{
    return keysBelow(*m_stampsBelow, key);
}

Index::Index(const QString &file) : m_store(std::make_unique<Store>())
{
    try {
        m_store->open(file);
    } catch (const IndexDamaged &damage) {
        rebuild(damage.message());
    }
}

Index::~Index() = default;

QString Index::file() const
{
    return m_store->file();
}

QString Index::notice() const
{
    return m_store->notice;
}

void Index::rebuild(const QString &reason)
{
    const QString file = m_store->file();
    m_store->rollback();
    m_store->close();
    if (file == QLatin1String(":memory:"))
        return m_store->open(file);
    const QString aside = file + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (!QFile::rename(file, aside))
        throw IndexError(QStringLiteral("the collection index %1 cannot be used (%2) and cannot "
                                        "be moved aside")
                             .arg(file, reason));
    QFile::remove(file + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
    m_store->open(file);
    m_store->notice = QStringLiteral("The collection index %1 could not be used (%2); it was "
                                     "moved aside to %3 and is built anew.")
                          .arg(file, reason, aside);
}

std::optional<Entry> Index::lookup(const QByteArray &path) const
{
    const std::optional<Known> known = m_store->known(path);
    if (!known || !known->sound)
        return std::nullopt;
    return known->entry;
}

} // namespace catalog
