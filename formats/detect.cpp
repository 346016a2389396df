// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/formats.h"

#include "common/pathbytes.h"

#include <QByteArrayView>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace formats {

namespace {

// Enough of a self-extractor's start to find the archive behind its program; StartBytes show
// every other signature but ISO 9660's.
constexpr qint64 HeadBytes = 64 * 1024;
constexpr qint64 StartBytes = 512;
constexpr qint64 IsoSignatureAt = 0x8001;
// A ZIP end record lies within the last 64 KiB (its comment) plus its own 22 bytes.
constexpr qint64 ZipTailBytes = 65535 + 22;

// A file read with pread: detection runs once per file of a collection, and a QFile would
// cost it more system calls than the reading itself. Whether it is a regular file is asked
// only when its first bytes are not a ZIP archive's (most files of a collection): reading a
// directory or a pipe gives no bytes.
class ReadFile
{
public:
    explicit ReadFile(const QString &path)
    {
        m_fd = ::open(pathbytes::encode(path).constData(),
                      O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    }
    // Takes the file's size; false when it is not a regular file.
    bool regular()
    {
        struct stat st;
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        m_size = st.st_size;
        return true;
    }
    ~ReadFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReadFile(const ReadFile &) = delete;
    ReadFile &operator=(const ReadFile &) = delete;

    qint64 size() const { return m_size; }
    // Up to `length` bytes at `offset`; fewer at the end of the file or on a read error.
    QByteArray read(qint64 offset, qint64 length) const
    {
        QByteArray bytes(qsizetype(std::max<qint64>(0, length)), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(m_fd, bytes.data() + done, size_t(bytes.size() - done),
                                      off_t(offset + done));
            if (n <= 0 && !(n < 0 && errno == EINTR))
                break;
            done += std::max<ssize_t>(n, 0);
        }
        bytes.truncate(done);
        return bytes;
    }

private:
    int m_fd = -1;
    qint64 m_size = 0;
};

bool at(QByteArrayView head, qsizetype offset, QByteArrayView signature)
{
    return head.size() >= offset + signature.size() &&
           head.sliced(offset, signature.size()) == signature;
}

bool lhaHeaderAt(QByteArrayView head, qsizetype offset)
{
    // "-lh5-", "-lz4-", "-lhd-" ... two bytes into the header.
    return head.size() >= offset + 7 && head[offset + 2] == '-' && head[offset + 3] == 'l' &&
           (head[offset + 4] == 'h' || head[offset + 4] == 'z') && head[offset + 6] == '-';
}

bool arcHeader(QByteArrayView head)
{
    // A marker byte, a method from 1 to 11 and a zero-terminated name of printable characters.
    if (head.size() < 29 || head[0] != 0x1A || head[1] < 1 || head[1] > 11)
        return false;
    qsizetype i = 2;
    for (; i < 15 && head[i] != 0; ++i)
        if (uchar(head[i]) < 0x20 || uchar(head[i]) > 0x7E)
            return false;
    return i > 2 && i < 15;
}

bool zooHeader(QByteArrayView head)
{
    return at(head, 0, "ZOO ") && at(head, 20, "\xDC\xA7\xC4\xFD");
}

bool cpioHeader(QByteArrayView head)
{
    return at(head, 0, "070707") || at(head, 0, "070701") || at(head, 0, "070702") ||
           at(head, 0, "\xC7\x71") || at(head, 0, "\x71\xC7");
}

// The formats recognised by their first bytes; Zip stands for "not one of them".
Format byStart(QByteArrayView head)
{
    if (at(head, 0, "PK"))
        return Format::Zip;
    if (lhaHeaderAt(head, 0))
        return Format::Lha;
    if (at(head, 0, "Rar!\x1A\x07") || at(head, 0, "RE~^"))
        return Format::Rar;
    if (at(head, 0, "7z\xBC\xAF\x27\x1C"))
        return Format::SevenZip;
    if (at(head, 0, QByteArrayView("MSCF\0\0\0\0", 8)))
        return Format::Cab;
    if (at(head, 0, "\x60\xEA"))
        return Format::Arj;
    if (zooHeader(head))
        return Format::Zoo;
    if (at(head, 0, "LZX"))
        return Format::Lzx;
    if (at(head, 0, "DMS!"))
        return Format::Dms;
    if (at(head, 0, "\x1F\x8B") || at(head, 0, "BZh") ||
        at(head, 0,
           "\xFD"
           "7zXZ") ||
        at(head, 0, "\x1F\x9D") || at(head, 257, "ustar"))
        return Format::Tar;
    if (cpioHeader(head))
        return Format::Cpio;
    if (arcHeader(head))
        return Format::Arc;
    return Format::Zip;
}

// A program with an archive behind it. A ZIP end record makes it the engine's, as before;
// LHA, RAR, 7z and CAB self-extractors are read by libarchive, every other one by the helper.
Format selfExtractor(const ReadFile &file, QByteArrayView head)
{
    const qint64 size = file.size();
    const QByteArray tail = file.read(std::max<qint64>(0, size - ZipTailBytes), ZipTailBytes);
    if (tail.contains(QByteArrayView("PK\x05\x06", 4)))
        return Format::Zip;
    for (qsizetype i = 0; i + 8 < head.size(); ++i) {
        if (head[i] == '-' && i >= 2 && lhaHeaderAt(head, i - 2))
            return Format::Lha;
        if (at(head, i, "Rar!\x1A\x07"))
            return Format::Rar;
        if (at(head, i, "7z\xBC\xAF\x27\x1C"))
            return Format::SevenZip;
        if (at(head, i, QByteArrayView("MSCF\0\0\0\0", 8)))
            return Format::Cab;
    }
    return Format::Sfx;
}

} // namespace

Format detect(const QString &path)
{
    ReadFile file(path);
    // Most files of a collection are ZIP archives: their first bytes settle it. For anything
    // that cannot be read the engine names the failure as it always has.
    QByteArray head = file.read(0, StartBytes);
    if (at(head, 0, "PK") || !file.regular())
        return Format::Zip;
    if (at(head, 0, "MZ")) {
        head += file.read(head.size(), HeadBytes - head.size());
        return selfExtractor(file, head);
    }
    const Format format = byStart(head);
    if (format == Format::Zip && file.read(IsoSignatureAt, 5) == "CD001")
        return Format::Iso;
    return format;
}

QString formatName(Format format)
{
    switch (format) {
    case Format::Zip:
        return QStringLiteral("zip");
    case Format::Lha:
        return QStringLiteral("lha");
    case Format::Rar:
        return QStringLiteral("rar");
    case Format::SevenZip:
        return QStringLiteral("7z");
    case Format::Cab:
        return QStringLiteral("cab");
    case Format::Tar:
        return QStringLiteral("tar");
    case Format::Iso:
        return QStringLiteral("iso");
    case Format::Cpio:
        return QStringLiteral("cpio");
    case Format::Arj:
        return QStringLiteral("arj");
    case Format::Arc:
        return QStringLiteral("arc");
    case Format::Zoo:
        return QStringLiteral("zoo");
    case Format::Lzx:
        return QStringLiteral("lzx");
    case Format::Dms:
        return QStringLiteral("dms");
    case Format::Sfx:
        return QStringLiteral("sfx");
    }
    return QString();
}

QString displayName(Format format)
{
    switch (format) {
    case Format::SevenZip:
        return QStringLiteral("7z");
    case Format::Sfx:
        return QStringLiteral("self-extracting");
    case Format::Iso:
        return QStringLiteral("ISO 9660");
    default:
        return formatName(format).toUpper();
    }
}

QString otherArchiveMask()
{
    return QStringLiteral("*.lha;*.lzh;*.arj;*.rar;*.7z;*.arc;*.zoo;*.cab;*.lzx;*.dms");
}

bool helperAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("lsar")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("unar")).isEmpty();
}

} // namespace formats
