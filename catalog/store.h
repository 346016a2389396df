// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/catalog.h"
#include "catalog/sqlite.h"

#include <QHash>

#include <memory>

// The index's tables, as the indexer and the queries of this folder ask for them. Every entry
// carries a checksum of what it holds; a row whose checksum does not match is never handed out
// as an entry: readers skip it, the indexer drops it and reads the file again.
namespace catalog {

// What the index holds for one file, as read back from its row.
struct Known
{
    qint64 id = 0;
    qint64 planKey = 0;
    // False when the row does not match its checksum (or lies in the wrong folder): `entry`
    // is then not to be trusted, only `id`.
    bool sound = false;
    Entry entry;
};

// What a folder looked like when its files were last all brought up to date.
struct FolderStamp
{
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    qint64 planKey = 0;
    bool operator==(const FolderStamp &) const = default;
};

// The folder part of a path, "/" included: the key of one folder's entries.
QByteArray folderKey(const QByteArray &path);
// The key of a folder's own entries: the folder's path with one "/" at its end.
QByteArray keyOfFolder(const QByteArray &folder);
// The first key above every folder key at or below `folderKeyWithSlash`.
QByteArray folderKeyEnd(const QByteArray &folderKeyWithSlash);

class Store
{
public:
    Store() = default;
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    void open(const QString &path);
    void close();
    const QString &file() const { return m_file; }
    QString notice;

    void begin();
    void commit();
    void rollback() noexcept;

    // The row of one path, or nothing.
    std::optional<Known> known(const QByteArray &path);
    // Every row of one folder (its key ends with "/"); unless `whole`, each entry holds only
    // its path, kind and stamp (a folder may hold many thousand files).
    QList<Known> knownIn(const QByteArray &key, bool whole = true);
    // A new file's entry (plain insert), or a changed file's entry over its old row.
    void add(const Entry &entry, qint64 planKey);
    // Another process may have added or removed the row meanwhile: either way the entry is
    // stored once.
    void replace(qint64 id, const Entry &entry, qint64 planKey);
    void remove(qint64 id);
    // The folder keys that hold entries at or below `key`.
    QList<QByteArray> foldersWithEntriesBelow(const QByteArray &key);

    std::optional<FolderStamp> folderStamp(const QByteArray &key);
    void setFolderStamp(const QByteArray &key, const FolderStamp &stamp);
    void dropFolderStamps(const QByteArray &key, bool below);
    // The keys of the folders below `key` whose stamps the index holds.
    QList<QByteArray> stampedFoldersBelow(const QByteArray &key);

    // Entries within the scopes in path order; entries within the scopes that match an FTS
    // expression, best first. Rows that fail their checksum are left out.
    void visitEntries(const QList<Scope> &scopes, const std::function<void(const Entry &)> &visit);
    void visitMatches(const QString &expression, const QList<Scope> &scopes, int limit,
                      const std::function<void(const Entry &)> &visit);

private:
    static const char *const EntryColumns;
    void prepare();
    void write(sql::Statement &statement, const Entry &entry, qint64 planKey);
    void storeText(qint64 id, const Entry &entry, bool replacing);
    static Known readRow(const sql::Statement &statement);

    QString m_file;
    sqlite3 *m_db = nullptr;
    std::unique_ptr<sql::Statement> m_selectPath, m_selectFolder, m_insert, m_update, m_delete,
        m_deleteText, m_insertText, m_insertNewText, m_folderKeys, m_selectStamp, m_upsertStamp,
        m_dropStamp, m_dropStampsBelow, m_stampsBelow;
};

} // namespace catalog
