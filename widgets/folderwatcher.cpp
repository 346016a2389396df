// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/folderwatcher.h"

#include "common/pathbytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FolderWatcher::FolderWatcher(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString &watched) {
                emit directoryChanged(m_pathOf.value(watched, watched));
                dropStaleAliases();
            });
}

FolderWatcher::~FolderWatcher()
{
    m_watcher.blockSignals(true);
    const QStringList paths = m_fds.keys();
    for (const QString &path : paths)
        dropAlias(path);
}

bool FolderWatcher::addPath(const QString &path)
{
    if (!pathbytes::hasRawBytes(path))
        return m_watcher.addPath(path);
    if (const auto it = m_aliasOf.constFind(path); it != m_aliasOf.constEnd()) {
        if (m_watcher.directories().contains(*it))
            return true;
        // The watcher dropped the folder (it was removed): open the one there now.
        dropAlias(path);
    }
    if (m_fds.size() >= MaxAliases)
        return false;
    const int fd = ::open(pathbytes::encode(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const QString alias = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (!m_watcher.addPath(alias)) {
        ::close(fd);
        return false;
    }
    m_aliasOf.insert(path, alias);
    m_pathOf.insert(alias, path);
    m_fds.insert(path, fd);
    return true;
}

bool FolderWatcher::removePath(const QString &path)
{
    if (!m_aliasOf.contains(path))
        return m_watcher.removePath(path);
    const bool removed = m_watcher.removePath(m_aliasOf.value(path));
    dropAlias(path);
    return removed;
}

void FolderWatcher::removePaths(const QStringList &paths)
{
    for (const QString &path : paths)
        removePath(path);
}

QStringList FolderWatcher::directories() const
{
    QStringList paths = m_watcher.directories();
    for (QString &watched : paths)
        watched = m_pathOf.value(watched, watched);
    return paths;
}

// The open descriptor keeps a removed folder alive, so the removal is not reported as it is
// for a folder watched by name. Any notice (the parent's among them) is the moment to look:
// a folder that is gone or was made again is reported changed and no longer counts as
// watched, so the tree's handling watches the new one.
void FolderWatcher::dropStaleAliases()
{
    QStringList stale;
    for (auto it = m_fds.constBegin(); it != m_fds.constEnd(); ++it) {
        struct stat held;
        struct stat now;
        if (::fstat(it.value(), &held) != 0 || !pathbytes::stat(it.key(), now) ||
            held.st_dev != now.st_dev || held.st_ino != now.st_ino)
            stale.append(it.key());
    }
    for (const QString &path : stale) {
        dropAlias(path);
        emit directoryChanged(path);
    }
}

void FolderWatcher::dropAlias(const QString &path)
{
    const QString alias = m_aliasOf.take(path);
    m_watcher.removePath(alias); // no-op when the watcher dropped it already
    m_pathOf.remove(alias);
    const int fd = m_fds.take(path);
    if (fd > 0)
        ::close(fd);
}
