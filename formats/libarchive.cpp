// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/backend.h"

#include "common/pathbytes.h"

#include <archive.h>
#include <archive_entry.h>

#include <QHash>

#include <fcntl.h>
#include <unistd.h>

namespace formats::libarchive {

namespace {

constexpr size_t BlockSize = 64 * 1024;

// An archive opened for reading; libarchive does not close a descriptor it was given, so the
// reader does, after freeing the archive.
class Reader
{
public:
    explicit Reader(const QString &path);
    ~Reader()
    {
        if (m_archive)
            archive_read_free(m_archive);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    archive *get() const { return m_archive; }
    const QString &error() const { return m_error; }

private:
    archive *m_archive = nullptr;
    int m_fd = -1;
    QString m_error;
};

QString errorText(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("the archive is damaged");
}

// Reads the formats of this process: never ZIP (the engine's), never "raw" (a compressed file
// that holds no archive is not one).
Reader::Reader(const QString &path)
{
    // Opened non-blocking and checked to be a regular file: a FIFO never hangs a lookup.
    m_fd = ::open(pathbytes::encode(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (m_fd < 0 || fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = QStringLiteral("cannot open the file");
        return;
    }
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_archive = archive_read_new();
    if (!m_archive) {
        m_error = QStringLiteral("out of memory");
        return;
    }
    archive_read_support_filter_all(m_archive);
    for (int (*support)(archive *) :
         {archive_read_support_format_lha, archive_read_support_format_rar,
          archive_read_support_format_rar5, archive_read_support_format_7zip,
          archive_read_support_format_cab, archive_read_support_format_tar,
          archive_read_support_format_iso9660, archive_read_support_format_cpio})
        support(m_archive);
    if (archive_read_open_fd(m_archive, m_fd, BlockSize) != ARCHIVE_OK)
        m_error = errorText(m_archive);
}

QString entryName(archive_entry *entry)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    const char *raw = archive_entry_pathname(entry);
    return raw ? pathbytes::decode(raw) : QString();
}

Member memberOf(archive_entry *entry, int index)
{
    Member m;
    m.index = index;
    m.name = entryName(entry);
    m.sizeKnown = archive_entry_size_is_set(entry) != 0;
    m.size = m.sizeKnown ? uint64_t(std::max<la_int64_t>(0, archive_entry_size(entry))) : 0;
    m.mtime = archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : 0;
    const mode_t type = archive_entry_filetype(entry);
    m.folder = type == AE_IFDIR;
    m.link = type == AE_IFLNK || archive_entry_hardlink(entry) != nullptr;
    m.special = !m.folder && !m.link && type != AE_IFREG && type != 0;
    if (m.folder && !m.name.endsWith(QLatin1Char('/')))
        m.name += QLatin1Char('/');
    return m;
}

} // namespace

bool reads(Format format)
{
    switch (format) {
    case Format::Lha:
    case Format::Rar:
    case Format::SevenZip:
    case Format::Cab:
    case Format::Tar:
    case Format::Iso:
    case Format::Cpio:
        return true;
    default:
        return false;
    }
}

Listing list(const QString &path)
{
    Listing listing;
    const Reader reader(path);
    archive *a = reader.get();
    if (!reader.error().isEmpty()) {
        listing.error = reader.error();
        return listing;
    }
    archive_entry *entry = nullptr;
    for (int index = 0;; ++index) {
        const int rc = archive_read_next_header(a, &entry);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc < ARCHIVE_WARN) {
            listing.error = errorText(a);
            break;
        }
        listing.members.append(memberOf(entry, index));
        if (archive_read_data_skip(a) < ARCHIVE_WARN) {
            listing.error = errorText(a);
            break;
        }
    }
    return listing;
}

// One pass from the start: the chosen members are read in archive order, the others skipped;
// the pass ends after the last chosen one.
QString read(const QString &path, const Listing &listing, const QList<int> &members,
             const OnData &onData, const OnMemberDone &onDone)
{
    const Reader reader(path);
    archive *a = reader.get();
    if (!reader.error().isEmpty())
        return reader.error();
    QHash<int, int> wanted; // the archive's position -> the listing's
    for (int m : members)
        wanted.insert(listing.members.at(m).index, m);
    std::vector<char> buffer(BlockSize);
    archive_entry *entry = nullptr;
    for (int index = 0; !wanted.isEmpty(); ++index) {
        const int rc = archive_read_next_header(a, &entry);
        if (rc == ARCHIVE_EOF)
            return QString();
        if (rc < ARCHIVE_WARN)
            return errorText(a);
        const auto chosen = wanted.constFind(index);
        if (chosen == wanted.cend()) {
            if (archive_read_data_skip(a) < ARCHIVE_WARN)
                return errorText(a);
            continue;
        }
        const int member = *chosen;
        wanted.erase(chosen);
        for (;;) {
            const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
            if (n < 0) {
                // The next header says whether the archive can go on after this member.
                onDone(member, errorText(a));
                break;
            }
            if (n == 0) {
                onDone(member, QString());
                break;
            }
            const Piece next = onData(member, buffer.data(), size_t(n));
            if (next == Piece::Stop)
                return QString();
            if (next == Piece::EnoughOfMember) {
                onDone(member, QString());
                break;
            }
        }
    }
    return QString();
}

} // namespace formats::libarchive
