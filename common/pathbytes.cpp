// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/pathbytes.h"

#include "common/textcodec.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace pathbytes {

namespace {

constexpr char16_t RawBase = 0xDC00;

bool isRaw(char16_t c)
{
    return c >= RawBase + 0x80 && c <= RawBase + 0xFF;
}

} // namespace

QString decode(QByteArrayView bytes)
{
    // QString::fromUtf8 drops a byte order mark at the start, which a name may well hold.
    if (!bytes.startsWith("\xEF\xBB\xBF") && textcodec::isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t codePoint;
        const int length = textcodec::utf8Sequence(bytes, i, codePoint);
        if (length == 0) {
            out.append(QChar(char16_t(RawBase + uchar(bytes[i]))));
            ++i;
            continue;
        }
        out.append(QChar::fromUcs4(codePoint));
        i += length;
    }
    return out;
}

QByteArray encode(QStringView path)
{
    if (!hasRawBytes(path))
        return path.toUtf8();
    QByteArray out;
    out.reserve(path.size() * 2);
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (!isRaw(c))
            continue;
        // A surrogate pair never holds a raw byte: a low surrogate after a high one belongs
        // to the pair.
        if (i > 0 && QChar::isHighSurrogate(path[i - 1].unicode()))
            continue;
        out.append(path.sliced(start, i - start).toUtf8());
        out.append(char(c - RawBase));
        start = i + 1;
    }
    out.append(path.sliced(start).toUtf8());
    return out;
}

bool hasRawBytes(QStringView path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isRaw(path[i].unicode()) && (i == 0 || !QChar::isHighSurrogate(path[i - 1].unicode())))
            return true;
    }
    return false;
}

QString display(QStringView path)
{
    if (!hasRawBytes(path))
        return path.toString();
    QString out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (!isRaw(c) || (i > 0 && QChar::isHighSurrogate(path[i - 1].unicode()))) {
            out.append(path[i]);
            continue;
        }
        const char16_t shown = textcodec::windows1252(uchar(c - RawBase));
        // The code page leaves five bytes unassigned: their control characters would not show.
        out.append(QChar(shown >= 0x80 && shown < 0xA0 ? char16_t(0xFFFD) : shown));
    }
    return out;
}

QUrl toUrl(const QString &path)
{
    if (!hasRawBytes(path))
        return QUrl::fromLocalFile(path);
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(encode(path).toPercentEncoding("/")), QUrl::TolerantMode);
    return url;
}

QString fromUrl(const QUrl &url)
{
    if (!url.isLocalFile())
        return QString();
    if (!url.host().isEmpty())
        return url.toLocalFile(); // a share named by host: no bytes of ours
    return decode(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QStringList arguments(int argc, char **argv)
{
    QStringList list;
    list.reserve(argc);
    for (int i = 0; i < argc; ++i)
        list.append(decode(QByteArrayView(argv[i])));
    return list;
}

QString currentDir()
{
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return QString();
        buffer.resize(buffer.size() * 2);
    }
    return decode(QByteArrayView(buffer.constData()));
}

bool stat(const QString &path, struct stat &st)
{
    return ::stat(encode(path).constData(), &st) == 0;
}

bool exists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && stat(path, st);
}

bool isDir(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && stat(path, st) && S_ISDIR(st.st_mode);
}

bool isFile(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && stat(path, st) && S_ISREG(st.st_mode);
}

QStringList fileNames(const QString &dir, QStringView suffix)
{
    QStringList names;
    DIR *stream = ::opendir(encode(dir).constData());
    if (!stream)
        return names;
    while (const dirent *entry = ::readdir(stream)) {
        const QString name = decode(QByteArrayView(entry->d_name));
        if (!name.endsWith(suffix, Qt::CaseInsensitive))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(stream), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            names.append(name);
    }
    ::closedir(stream);
    return names;
}

bool openFile(QFile &file, const QString &path, QIODevice::OpenMode mode)
{
    // Checked before the open, because opening a device can itself have effects, and again on
    // the open file, which is the one that counts.
    struct stat st;
    if (path.isEmpty() || !stat(path, st))
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    int flags = O_RDONLY;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        flags = O_RDWR;
    else if (mode & QIODevice::WriteOnly)
        flags = O_WRONLY;
    const int fd = ::open(encode(path).constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error) {
        ::close(fd);
        errno = error;
        return false;
    }
    const QIODevice::OpenMode qtMode =
        flags == O_RDWR ? QIODevice::ReadWrite
                        : (flags == O_WRONLY ? QIODevice::WriteOnly : QIODevice::ReadOnly);
    if (!file.open(fd, qtMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errno = EIO;
        return false;
    }
    return true;
}

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    char target[4096];
    const ssize_t n = readlink("/proc/self/exe", target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target)
        return QString();
    const QByteArray path(target, n);
    return decode(QByteArrayView(path).first(path.lastIndexOf('/') + 1));
}

} // namespace pathbytes
