// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/backend.h"

#include "formats/module.h"

#include "common/module.h"
#include "common/pathbytes.h"

#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace formats::libarchive {

namespace {

constexpr size_t BlockSize = 64 * 1024;

// The archive module, loaded the first time an archive is read here; null functions after
// `problem` says why it cannot be used.
struct Module
{
    const QuorilArchiveFunctions *functions = nullptr;
    QString problem;
};

const Module &module()
{
    static const Module loaded = [] {
        ProgramModule m = loadProgramModule(QUORIL_ARCHIVE_LIBRARY, QStringLiteral("archive"));
        const auto entry =
            reinterpret_cast<QuorilArchiveFunctionsFn>(m.entry(QUORIL_ARCHIVE_SYMBOL));
        return Module{entry ? entry() : nullptr, m.problem};
    }();
    return loaded;
}

// An archive opened for reading; the module does not close a descriptor it was given, so the
// reader does, after closing the archive.
class Reader
{
public:
    explicit Reader(const QString &path);
    ~Reader()
    {
        if (m_reader)
            m_f->close(m_reader);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    const QString &error() const { return m_error; }
    int next(QuorilArchiveEntry &entry) const { return m_f->next(m_reader, &entry); }
    bool skip() const { return m_f->skip(m_reader) == QuorilArchiveOk; }
    long long read(char *buffer, size_t size) const { return m_f->read(m_reader, buffer, size); }
    QString errorText() const
    {
        const char *text = m_f->error(m_reader);
        return text ? QString::fromLocal8Bit(text) : QStringLiteral("the archive is damaged");
    }

private:
    const QuorilArchiveFunctions *m_f = nullptr;
    QuorilArchiveReader *m_reader = nullptr;
    int m_fd = -1;
    QString m_error;
};

Reader::Reader(const QString &path) : m_f(module().functions)
{
    if (!m_f) {
        m_error = module().problem;
        return;
    }
    // Opened non-blocking and checked to be a regular file: a FIFO never hangs a lookup.
    m_fd = ::open(pathbytes::encode(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (m_fd < 0 || fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = QStringLiteral("cannot open the file");
        return;
    }
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    const int opened = m_f->open(m_fd, &m_reader);
    if (!m_reader)
        m_error = QStringLiteral("out of memory");
    else if (opened != QuorilArchiveOk)
        m_error = errorText();
}

QString entryName(const QuorilArchiveEntry &entry)
{
    if (entry.utf8Name)
        return QString::fromUtf8(entry.utf8Name);
    return entry.name ? pathbytes::decode(entry.name) : QString();
}

Member memberOf(const QuorilArchiveEntry &entry, int index)
{
    Member m;
    m.index = index;
    m.name = entryName(entry);
    m.sizeKnown = entry.sizeKnown;
    m.size = m.sizeKnown ? uint64_t(std::max<long long>(0, entry.size)) : 0;
    m.mtime = entry.mtimeKnown ? entry.mtime : 0;
    const mode_t type = entry.fileType;
    m.folder = type == S_IFDIR;
    m.link = type == S_IFLNK || entry.hardLink;
    m.special = !m.folder && !m.link && type != S_IFREG && type != 0;
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
    if (!reader.error().isEmpty()) {
        listing.error = reader.error();
        return listing;
    }
    QuorilArchiveEntry entry{};
    for (int index = 0;; ++index) {
        const int rc = reader.next(entry);
        if (rc == QuorilArchiveEnd)
            break;
        if (rc != QuorilArchiveOk) {
            listing.error = reader.errorText();
            break;
        }
        listing.members.append(memberOf(entry, index));
        if (!reader.skip()) {
            listing.error = reader.errorText();
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
    if (!reader.error().isEmpty())
        return reader.error();
    QHash<int, int> wanted; // the archive's position -> the listing's
    for (int m : members)
        wanted.insert(listing.members.at(m).index, m);
    std::vector<char> buffer(BlockSize);
    QuorilArchiveEntry entry{};
    for (int index = 0; !wanted.isEmpty(); ++index) {
        const int rc = reader.next(entry);
        if (rc == QuorilArchiveEnd)
            return QString();
        if (rc != QuorilArchiveOk)
            return reader.errorText();
        const auto chosen = wanted.constFind(index);
        if (chosen == wanted.cend()) {
            if (!reader.skip())
                return reader.errorText();
            continue;
        }
        const int member = *chosen;
        wanted.erase(chosen);
        for (;;) {
            const long long n = reader.read(buffer.data(), buffer.size());
            if (n < 0) {
                // The next header says whether the archive can go on after this member.
                onDone(member, reader.errorText());
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
