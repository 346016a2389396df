// SQLite, bound on first use. Only the collection index needs it, yet a library linked to a
// program is loaded at every start: 0.4 ms for each quoril-cli command and each start of the
// window. The catalog is therefore not linked with SQLite; the SQLite functions it calls are
// defined here, each forwarding to the library loaded the first time the index is opened.

// These definitions stay inside the program, as a static SQLite's would.
#define SQLITE_API __attribute__((visibility("hidden")))
#include <sqlite3.h>

#include "catalog/sqlite.h"
#include "common/lazylibrary.h"

namespace {

const LazyLibrary &sqlite()
{
    static const LazyLibrary library("libsqlite3.so.0");
    return library;
}

} // namespace

QString catalog::sql::sqliteFailure()
{
    if (!sqlite().loaded())
        return QString::fromLocal8Bit(sqlite().failure());
    if (!sqlite().has("sqlite3_prepare_v3"))
        return QStringLiteral("the SQLite library is too old (sqlite3_prepare_v3 is missing)");
    return QString();
}

#define FORWARD(ret, name, params, args) LAZY_FORWARD(sqlite, ret, name, params, args)

FORWARD(int, sqlite3_open_v2, (const char *f, sqlite3 **db, int flags, const char *vfs),
        (f, db, flags, vfs))
FORWARD(int, sqlite3_close, (sqlite3 * db), (db))
FORWARD(int, sqlite3_busy_timeout, (sqlite3 * db, int ms), (db, ms))
FORWARD(int, sqlite3_extended_result_codes, (sqlite3 * db, int on), (db, on))
FORWARD(int, sqlite3_get_autocommit, (sqlite3 * db), (db))
FORWARD(const char *, sqlite3_errmsg, (sqlite3 * db), (db))
FORWARD(const char *, sqlite3_errstr, (int rc), (rc))
FORWARD(int, sqlite3_exec,
        (sqlite3 * db, const char *sql, int (*cb)(void *, int, char **, char **), void *arg,
         char **error),
        (db, sql, cb, arg, error))
FORWARD(int, sqlite3_prepare_v3,
        (sqlite3 * db, const char *sql, int n, unsigned int flags, sqlite3_stmt **stmt,
         const char **tail),
        (db, sql, n, flags, stmt, tail))
FORWARD(const char *, sqlite3_sql, (sqlite3_stmt * s), (s))
FORWARD(int, sqlite3_step, (sqlite3_stmt * s), (s))
FORWARD(int, sqlite3_reset, (sqlite3_stmt * s), (s))
FORWARD(int, sqlite3_clear_bindings, (sqlite3_stmt * s), (s))
FORWARD(int, sqlite3_finalize, (sqlite3_stmt * s), (s))
FORWARD(int, sqlite3_bind_null, (sqlite3_stmt * s, int i), (s, i))
FORWARD(int, sqlite3_bind_int64, (sqlite3_stmt * s, int i, sqlite3_int64 v), (s, i, v))
FORWARD(int, sqlite3_bind_blob64,
        (sqlite3_stmt * s, int i, const void *v, sqlite3_uint64 n, void (*d)(void *)),
        (s, i, v, n, d))
FORWARD(int, sqlite3_bind_text64,
        (sqlite3_stmt * s, int i, const char *v, sqlite3_uint64 n, void (*d)(void *),
         unsigned char encoding),
        (s, i, v, n, d, encoding))
FORWARD(int, sqlite3_column_type, (sqlite3_stmt * s, int c), (s, c))
FORWARD(int, sqlite3_column_bytes, (sqlite3_stmt * s, int c), (s, c))
FORWARD(const void *, sqlite3_column_blob, (sqlite3_stmt * s, int c), (s, c))
FORWARD(const unsigned char *, sqlite3_column_text, (sqlite3_stmt * s, int c), (s, c))
FORWARD(sqlite3_int64, sqlite3_column_int64, (sqlite3_stmt * s, int c), (s, c))
FORWARD(double, sqlite3_column_double, (sqlite3_stmt * s, int c), (s, c))
