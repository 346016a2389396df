// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/sqlite.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <mutex>

#include <sys/statvfs.h>

namespace catalog::sql {

namespace {

bool diskIsFull(const QString &file)
{
    struct statvfs fs;
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    return ::statvfs(folder.constData(), &fs) == 0 && fs.f_bavail == 0;
}

} // namespace

QString failureText(const QString &file, int rc)
{
    const QString index = file.isEmpty() || file == QLatin1String(":memory:")
                              ? QStringLiteral("the collection index")
                              : QStringLiteral("the collection index %1").arg(file);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("%1 is in use by another program; try again later").arg(index);
    case SQLITE_FULL:
        return QStringLiteral("%1 cannot be written: the disk is full").arg(index);
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return QStringLiteral("%1 cannot be written: the folder is read-only").arg(index);
    case SQLITE_CANTOPEN:
        return QStringLiteral("%1 cannot be opened: the folder cannot be read or written")
            .arg(index);
    case SQLITE_NOMEM:
        return QStringLiteral("%1 cannot be used: not enough memory").arg(index);
    case SQLITE_INTERRUPT:
        return QStringLiteral("%1: the work was interrupted").arg(index);
    case SQLITE_IOERR:
        if (diskIsFull(file))
            return QStringLiteral("%1 cannot be written: the disk is full").arg(index);
        return QStringLiteral("%1 cannot be read or written: the disk reported an error")
            .arg(index);
    default:
        return QStringLiteral("%1 is damaged").arg(index);
    }
}

bool isDamage(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_NOMEM:
    case SQLITE_INTERRUPT:
    case SQLITE_IOERR:
        return false;
    default:
        return true;
    }
}

namespace {

std::mutex namesMutex;
QHash<sqlite3 *, QString> &names()
{
    static QHash<sqlite3 *, QString> map;
    return map;
}

} // namespace

void nameDatabase(sqlite3 *db, const QString &file)
{
    std::lock_guard lock(namesMutex);
    if (file.isEmpty())
        names().remove(db);
    else
        names().insert(db, file);
}

void fail(sqlite3 *db, int rc, const char *)
{
    QString file;
    {
        std::lock_guard lock(namesMutex);
        file = names().value(db);
    }
    // A damaged index is moved aside and built anew; the reason then needs no file name.
    if (isDamage(rc))
        throw IndexDamaged(QStringLiteral("it is damaged"));
    throw IndexError(failureText(file, rc));
}

void check(sqlite3 *db, int rc, const char *what)
{
    if (rc != SQLITE_OK)
        fail(db, rc, what);
}

void exec(sqlite3 *db, const char *sql)
{
    check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql);
}

Statement::Statement(sqlite3 *db, const char *sql) : m_db(db)
{
    check(db, sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr), sql);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement &Statement::bind(int i, qint64 value)
{
    check(m_db, sqlite3_bind_int64(m_stmt, i, value), "bind");
    return *this;
}

Statement &Statement::bind(int i, const QByteArray &blob)
{
    // An empty blob still binds as a blob, never as NULL.
    check(m_db,
          sqlite3_bind_blob64(m_stmt, i, blob.isNull() ? "" : blob.constData(),
                              static_cast<sqlite3_uint64>(blob.size()), SQLITE_TRANSIENT),
          "bind");
    return *this;
}

Statement &Statement::bind(int i, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    check(m_db,
          sqlite3_bind_text64(m_stmt, i, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8),
          "bind");
    return *this;
}

Statement &Statement::bindNull(int i)
{
    check(m_db, sqlite3_bind_null(m_stmt, i), "bind");
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE)
        fail(m_db, rc, sqlite3_sql(m_stmt));
    return false;
}

bool Statement::stepUnlessConflict()
{
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    sqlite3_reset(m_stmt);
    if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
        return false;
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        fail(m_db, rc, sqlite3_sql(m_stmt));
    return true;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QByteArray Statement::blob(int column) const
{
    const void *data = sqlite3_column_blob(m_stmt, column);
    return QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, column));
}

QString Statement::text(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

} // namespace catalog::sql
