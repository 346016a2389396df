#pragma once

#include "catalog/catalog.h"
#include "catalog/sqlite.h"

#include <memory>

// The index's tables, for the indexer and the queries of this folder.
namespace catalog {

// What decides whether a file must be read again.
struct Stamp
{
    qint64 id = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    qint64 planKey = 0;
};

// The folder part of a path, "/" included: the key of one folder's entries.
QByteArray folderKey(const QByteArray &path);
// The lowest and the first key above every folder key at or below `folder`.
QByteArray folderKeyEnd(const QByteArray &folderKeyWithSlash);

struct Index::Impl
{
    QString file;
    QString notice;
    sqlite3 *db = nullptr;
    std::unique_ptr<sql::Statement> selectPath, selectFolder, upsert, deleteFile, deleteText,
        insertText, folderKeys;

    ~Impl();
    void open(const QString &path);
    void close();
    void prepare();

    // The columns every entry query selects, in the order readEntry expects them.
    static const char *entryColumns();
    static Entry readEntry(const sql::Statement &statement, int first = 0);

    void begin();
    void commit();
    void rollback() noexcept;

    void store(const Entry &entry, qint64 planKey);
    void remove(qint64 id);
};

} // namespace catalog
