// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

// A thin layer over the SQLite C API: every result code is checked, and a failure becomes an
// IndexError (IndexDamaged when the file is not a sound database), said in words.
namespace catalog::sql {

// A failure in words, never SQL: "the collection index FILE cannot be written: the disk is full".
QString failureText(const QString &file, int rc);
// Whether a failure says the file is damaged. Every failure but a busy, locked, full, read-only,
// unreadable or interrupted index counts so: the index is then moved aside and built anew.
bool isDamage(int rc);

// The file a connection has open, for the messages of its failures; empty forgets it.
void nameDatabase(sqlite3 *db, const QString &file);

// Throws IndexDamaged when isDamage(rc), else IndexError with failureText; `what` names the
// step for a debugger, never for the user.
[[noreturn]] void fail(sqlite3 *db, int rc, const char *what);
void check(sqlite3 *db, int rc, const char *what);
void exec(sqlite3 *db, const char *sql);

class Statement
{
public:
    Statement(sqlite3 *db, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(int i, qint64 value);
    Statement &bind(int i, const QByteArray &blob);
    Statement &bind(int i, const QString &text);
    Statement &bindNull(int i);
    // True while a row is there; resets the statement after the last row.
    bool step();
    // Runs an insert or update; false when it would break a uniqueness rule (nothing is then
    // changed).
    bool stepUnlessConflict();
    void reset();

    qint64 integer(int column) const;
    bool isNull(int column) const;
    QByteArray blob(int column) const;
    QString text(int column) const;
    double real(int column) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace catalog::sql
