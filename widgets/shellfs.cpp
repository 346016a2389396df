// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/shellfs.h"

#include "common/pathbytes.h"

#include <QDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace shellfs {

namespace {

// Closes a directory stream on every way out of a read.
struct DirCloser
{
    DIR *dir;
    ~DirCloser()
    {
        if (dir)
            closedir(dir);
    }
};

} // namespace

QString join(const QString &dir, const QString &name)
{
    if (dir.endsWith(QLatin1Char('/')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

bool enumerate(const QString &dir, int flags, const std::function<bool(const Entry &)> &sink)
{
    const QByteArray encodedDir = pathbytes::encode(dir);
    DirCloser stream{opendir(encodedDir.constData())};
    if (!stream.dir)
        return false;
    const bool wantFolders = flags & EnumFolders;
    const bool wantOthers = flags & EnumNonFolders;
    const bool wantHidden = flags & EnumHidden;
    const int dirFd = dirfd(stream.dir);
    while (dirent *de = readdir(stream.dir)) {
        const char *raw = de->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;
        const bool hidden = raw[0] == '.';
        if (hidden && !wantHidden)
            continue;
        bool isDir = false;
        bool isLink = false;
        unsigned char type = de->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirFd, raw, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISLNK(st.st_mode))
                    type = DT_LNK;
                else if (S_ISDIR(st.st_mode))
                    type = DT_DIR;
                else
                    type = DT_REG;
            }
        }
        if (type == DT_DIR) {
            isDir = true;
        } else if (type == DT_LNK) {
            isLink = true;
            struct stat st;
            isDir = fstatat(dirFd, raw, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir ? !wantFolders : !wantOthers)
            continue;
        Entry entry;
        entry.name = pathbytes::decode(QByteArrayView(raw));
        entry.path = join(dir, entry.name);
        entry.isDir = isDir;
        entry.isLink = isLink;
        entry.hidden = hidden;
        if (!sink(entry))
            break;
    }
    return true;
}

bool isUnder(const QString &path, const QString &prefix)
{
    if (prefix == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    if (!path.startsWith(prefix))
        return false;
    return path.size() == prefix.size() || path.at(prefix.size()) == QLatin1Char('/');
}

QStringList componentsBelow(const QString &path, const QString &prefix)
{
    return path.mid(prefix.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QString resolveFolder(const QString &path)
{
    if (path.trimmed().isEmpty())
        return {};
    QString current = path;
    if (!current.startsWith(QLatin1Char('/')))
        current = join(pathbytes::currentDir(), current);
    current = QDir::cleanPath(current);
    while (true) {
        if (pathbytes::isDir(current))
            return current;
        if (current == QLatin1String("/"))
            return {};
        const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
        current = slash <= 0 ? QStringLiteral("/") : current.left(slash);
    }
}

int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const QChar ca = a.at(i), cb = b.at(j);
        if (ca.isDigit() && cb.isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a.at(ei) == QLatin1Char('0'))
                ++ei;
            while (ej < b.size() && b.at(ej) == QLatin1Char('0'))
                ++ej;
            qsizetype si = ei, sj = ej;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            const qsizetype lenA = ei - si, lenB = ej - sj;
            if (lenA != lenB)
                return lenA < lenB ? -1 : 1;
            for (qsizetype k = 0; k < lenA; ++k) {
                if (a.at(si + k) != b.at(sj + k))
                    return a.at(si + k) < b.at(sj + k) ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar fa = ca.toCaseFolded(), fb = cb.toCaseFolded();
        if (fa != fb)
            return fa < fb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    // Equal apart from case or leading zeros: fall back to the exact text for a stable order.
    return a == b ? 0 : (a < b ? -1 : 1);
}

qint64 entrySize(const QString &path)
{
    struct stat st;
    if (!pathbytes::stat(path, st))
        return -1;
    return st.st_size;
}

QDateTime entryModified(const QString &path)
{
    struct stat st;
    if (!pathbytes::stat(path, st))
        return {};
    return QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
}

} // namespace shellfs
