// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

// QFileSystemWatcher for paths that carry bytes which are not UTF-8 (common/pathbytes.h).
// QFileSystemWatcher encodes a path to UTF-8 and cannot watch such a folder by its name, so
// the folder is opened (O_PATH, no access needed beyond lookup) and watched through
// /proc/self/fd/N, which the kernel resolves to the folder itself; other paths are handed on
// as they are. Callers see only their own paths; a folder removed or made again is reported
// changed as a folder watched by name would be.
class FolderWatcher : public QObject
{
    Q_OBJECT

public:
    // Folders watched through an open descriptor at most; beyond that a folder is not watched
    // rather than spend the descriptors that opening files needs.
    static constexpr int MaxAliases = 256;

    explicit FolderWatcher(QObject *parent = nullptr);
    ~FolderWatcher() override;

    bool addPath(const QString &path);
    bool removePath(const QString &path);
    void removePaths(const QStringList &paths);
    QStringList directories() const;

signals:
    void directoryChanged(const QString &path);

private:
    void dropAlias(const QString &path);
    void dropStaleAliases();

    QFileSystemWatcher m_watcher;
    QHash<QString, QString> m_aliasOf; // path -> /proc/self/fd/N
    QHash<QString, QString> m_pathOf;  // /proc/self/fd/N -> path
    QHash<QString, int> m_fds;         // path -> descriptor
};
