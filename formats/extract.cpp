// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/backend.h"

#include "common/pathbytes.h"

#include <QHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace formats {

namespace {

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Where a member goes below the target: "\" of DOS-made archives is a separator too, a leading
// "/", a drive and "." and ".." parts are dropped; without paths only the bare name is kept.
QStringList targetParts(const QString &name, bool withPaths, bool &trimmed)
{
    QString text = name;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    trimmed = text.startsWith(QLatin1Char('/'));
    if (text.size() >= 2 && text.at(1) == QLatin1Char(':') && text.at(0).isLetter()) {
        text.remove(0, 2);
        trimmed = true;
    }
    QStringList parts;
    for (const QString &part : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            trimmed = true;
        else if (part != QLatin1String("."))
            parts.append(part);
    }
    if (!withPaths && parts.size() > 1) {
        parts = QStringList{parts.last()};
        trimmed = false;
    }
    return parts;
}

// Opens the folders below `base`, creating missing ones when allowed, never following a link.
int openFolders(int base, const QStringList &parts, qsizetype count, bool create, QString &why)
{
    int fd = fcntl(base, F_DUPFD_CLOEXEC, 0);
    for (qsizetype i = 0; fd >= 0 && i < count; ++i) {
        const QByteArray part = pathbytes::encode(parts.at(i));
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = openat(fd, part.constData(), flags);
        if (next < 0 && errno == ENOENT && create && mkdirat(fd, part.constData(), 0777) == 0)
            next = openat(fd, part.constData(), flags);
        if (next < 0) {
            struct stat st;
            if (errno == ENOENT && !create)
                why = QString(); // nothing to replace there
            else if (fstatat(fd, part.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISLNK(st.st_mode))
                why = QStringLiteral("name leads outside the target folder");
            else if (errno == ENOTDIR || errno == ELOOP)
                why = QStringLiteral("a file is in the way of its folder");
            else
                why = QString::fromLocal8Bit(strerror(errno));
        }
        ::close(fd);
        fd = next;
    }
    return fd;
}

// One member on its way to the disk: a temporary file in its folder that takes the member's
// name only when every byte arrived and no more than its header said.
struct Pending
{
    Fd dir;
    QByteArray leaf;
    QByteArray temp;
    Fd file;
    uint64_t written = 0;
    bool replace = false;
};

class Extraction
{
public:
    Extraction(const ExtractRequest &request, const Listing &listing, const Progress &progress,
               const MemberProgress &memberProgress)
        : m_request(request), m_listing(listing), m_progress(progress),
          m_memberProgress(memberProgress)
    {}

    ExtractReport run(const QList<int> &chosen);

private:
    bool openTarget();
    bool prepare(int member, Pending &pending);
    Piece data(int member, const char *bytes, size_t size);
    void done(int member, const QString &error);
    void discard(Pending &pending);
    void warn(const Member &m, const QString &why) { problem(QStringLiteral("warning"), m, why); }
    void fail(const Member &m, const QString &why)
    {
        problem(QStringLiteral("error"), m, why);
        m_report.failed = true;
    }
    void problem(const QString &kind, const Member &m, const QString &why)
    {
        m_report.problems.append(QStringLiteral("%1: %2: %3").arg(kind, m.name, why));
    }

    const ExtractRequest &m_request;
    const Listing &m_listing;
    const Progress &m_progress;
    const MemberProgress &m_memberProgress;
    ExtractReport m_report;
    Fd m_target;
    std::map<int, Pending> m_pending; // by position in the listing
    int m_started = 0;
    int m_total = 0;
};

bool Extraction::openTarget()
{
    QByteArray path = pathbytes::encode(m_request.targetDir);
    if (path.isEmpty())
        path = ".";
    // Folders of the target itself are the user's: made when missing, links followed.
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0777);
    ::mkdir(path.constData(), 0777);
    m_target.reset(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (m_target.get() < 0) {
        m_report.problems.append(QStringLiteral("error: %1: cannot open or create the folder")
                                     .arg(pathbytes::display(m_request.targetDir)));
        m_report.failed = true;
        return false;
    }
    return true;
}

// Decides what becomes of one member; false when it is not read at all.
bool Extraction::prepare(int member, Pending &pending)
{
    const Member &m = m_listing.members.at(member);
    if (m.link || m.special) {
        warn(m, m.link ? QStringLiteral("link not extracted")
                       : QStringLiteral("device or pipe not extracted"));
        return false;
    }
    bool trimmed = false;
    const QStringList parts = targetParts(m.name, m_request.withPaths, trimmed);
    if (parts.isEmpty()) {
        if (!m.folder)
            fail(m, QStringLiteral("name leads outside the target folder"));
        return false;
    }
    const bool create = !m_request.onlyNewer;
    QString why;
    if (m.folder) {
        if (m_request.withPaths) {
            const Fd fd(openFolders(m_target.get(), parts, parts.size(), create, why));
            if (fd.get() < 0 && !why.isEmpty())
                fail(m, why);
        }
        return false;
    }
    pending.dir.reset(openFolders(m_target.get(), parts, parts.size() - 1, create, why));
    if (pending.dir.get() < 0) {
        if (!why.isEmpty())
            fail(m, why);
        return false;
    }
    if (trimmed)
        warn(m, QStringLiteral("absolute path or \"..\" parts dropped, extracted as %1")
                    .arg(parts.join(QLatin1Char('/'))));
    pending.leaf = pathbytes::encode(parts.last());
    struct stat st;
    if (fstatat(pending.dir.get(), pending.leaf.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) {
            fail(m, QStringLiteral("something that is not a file has that name"));
            return false;
        }
        const bool older = st.st_mtim.tv_sec < m.mtime;
        pending.replace =
            m_request.overwrite || ((m_request.onlyNewer || m_request.update) && older);
        if (!pending.replace) {
            if (!m_request.onlyNewer && !m_request.update)
                warn(m, QStringLiteral("existing file kept"));
            return false;
        }
    } else if (m_request.onlyNewer) {
        return false; // creates nothing new
    }
    pending.temp = ".quoril-" + QByteArray::number(getpid()) + '-' + QByteArray::number(member);
    pending.file.reset(openat(pending.dir.get(), pending.temp.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (pending.file.get() < 0) {
        fail(m, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}

void Extraction::discard(Pending &pending)
{
    pending.file.reset();
    unlinkat(pending.dir.get(), pending.temp.constData(), 0);
}

Piece Extraction::data(int member, const char *bytes, size_t size)
{
    const auto found = m_pending.find(member);
    if (found == m_pending.end())
        return Piece::EnoughOfMember;
    Pending &pending = found->second;
    const Member &m = m_listing.members.at(member);
    if (pending.written == 0 && m_progress && !m_progress(m.name, m_started++, m_total)) {
        m_report.cancelled = true;
        return Piece::Stop;
    }
    const uint64_t most = m.sizeKnown ? m.size : UnknownSizeLimit;
    if (pending.written + size > most) {
        fail(m, QStringLiteral("the member holds more data than its header says"));
        discard(pending);
        m_pending.erase(found);
        return Piece::EnoughOfMember;
    }
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(pending.file.get(), bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            fail(m, QString::fromLocal8Bit(strerror(error)));
            discard(pending);
            m_pending.erase(found);
            return error == ENOSPC || error == EDQUOT ? Piece::Stop : Piece::EnoughOfMember;
        }
        done += size_t(n);
    }
    pending.written += size;
    if (m_memberProgress && !m_memberProgress(m.name, pending.written, m.size)) {
        m_report.cancelled = true;
        return Piece::Stop;
    }
    return Piece::More;
}

void Extraction::done(int member, const QString &error)
{
    const auto it = m_pending.find(member);
    if (it == m_pending.end())
        return; // already failed and reported
    Pending &pending = it->second;
    const Member &m = m_listing.members.at(member);
    if (pending.written == 0 && error.isEmpty() && m_progress &&
        !m_progress(m.name, m_started++, m_total))
        m_report.cancelled = true;
    QString why = error;
    if (why.isEmpty() && m.sizeKnown && pending.written != m.size)
        why = QStringLiteral("the member is shorter than its header says");
    if (!why.isEmpty() || m_report.cancelled) {
        if (!why.isEmpty())
            fail(m, why);
        discard(pending);
        m_pending.erase(it);
        return;
    }
    const timespec times[2] = {{m.mtime, 0}, {m.mtime, 0}};
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(pending.file.get(), 0666 & ~mask);
    if (m.mtime > 0)
        futimens(pending.file.get(), times);
    const int rc = pending.replace
                       ? renameat(pending.dir.get(), pending.temp.constData(), pending.dir.get(),
                                  pending.leaf.constData())
                       : renameat2(pending.dir.get(), pending.temp.constData(), pending.dir.get(),
                                   pending.leaf.constData(), RENAME_NOREPLACE);
    if (rc != 0) {
        errno == EEXIST ? warn(m, QStringLiteral("existing file kept"))
                        : fail(m, QString::fromLocal8Bit(strerror(errno)));
        discard(pending);
    } else {
        ++m_report.extracted;
    }
    m_pending.erase(it);
}

ExtractReport Extraction::run(const QList<int> &chosen)
{
    if (!openTarget())
        return m_report;
    QList<int> toRead;
    for (int member : chosen) {
        Pending pending;
        if (prepare(member, pending)) {
            m_pending.emplace(member, std::move(pending));
            toRead.append(member);
        }
    }
    m_total = int(toRead.size());
    const QString error =
        toRead.isEmpty() ? QString()
                         : readerOf(m_listing)(
                               m_request.archive, m_listing, toRead,
                               [this](int m, const char *d, size_t s) { return data(m, d, s); },
                               [this](int m, const QString &e) { done(m, e); });
    // Members never reached (a cancel, a damaged archive) leave nothing behind.
    for (auto &[member, pending] : m_pending) {
        if (!m_report.cancelled)
            fail(m_listing.members.at(member),
                 error.isEmpty() ? QStringLiteral("not found in the archive") : error);
        discard(pending);
    }
    m_pending.clear();
    return m_report;
}

} // namespace

ExtractReport extract(const ExtractRequest &request, const Progress &progress,
                      const MemberProgress &memberProgress)
{
    ExtractReport report;
    if (request.names.isEmpty())
        return report;
    const Listing listing = list(request.archive, request.format);
    if (!listing.ok() && listing.members.isEmpty()) {
        report.problems.append(QStringLiteral("error: %1: %2")
                                   .arg(pathbytes::display(request.archive), listing.error));
        report.failed = true;
        return report;
    }
    QHash<QString, bool> wanted;
    for (const QString &name : request.names)
        wanted.insert(request.caseInsensitive ? foldedName(name) : name, false);
    QList<int> chosen;
    for (qsizetype i = 0; i < listing.members.size(); ++i) {
        const QString &name = listing.members.at(i).name;
        const auto it = wanted.find(request.caseInsensitive ? foldedName(name) : name);
        if (it != wanted.end()) {
            *it = true;
            chosen.append(int(i));
        }
    }
    for (const QString &name : request.names)
        if (!wanted.value(request.caseInsensitive ? foldedName(name) : name))
            report.unmatched.append(name);
    Extraction extraction(request, listing, progress, memberProgress);
    ExtractReport done = extraction.run(chosen);
    done.unmatched = report.unmatched;
    for (const QString &name : done.unmatched)
        done.problems.append(QStringLiteral("warning: %1: no member of that name").arg(name));
    return done;
}

} // namespace formats
