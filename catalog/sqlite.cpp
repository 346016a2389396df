#include "catalog/sqlite.h"

namespace catalog::sql {

void fail(sqlite3 *db, int rc, const char *what)
{
    const QString message =
        QStringLiteral("collection index: %1: %2")
            .arg(QLatin1String(what),
                 QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
    const int primary = rc & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        throw IndexDamaged(message);
    throw IndexError(message);
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
