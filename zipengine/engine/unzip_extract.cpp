// SPDX-License-Identifier: GPL-3.0-or-later
// Extraction of one member below the target folder.
//
// Confinement: every folder on the way is opened relative to the one above it with
// O_NOFOLLOW, starting at the target folder, so no symbolic link below the target folder is
// ever followed, whoever placed it there. Symbolic-link members are not extracted (a warning
// line says so): a link made by the archive could point anywhere, and later members or
// later extractions could be written through it.
//
// Writing: the data goes to a temporary file in the member's folder (nameless where the file
// system allows it), which takes the member's permission bits and time and gets its name once
// libzip has checked the CRC, so an existing file is only ever replaced by a complete,
// verified copy, and a killed run leaves no half-written file behind.

#include "zipengine/engine/temp_files.h"
#include "zipengine/engine/unzip_names.h"
#include "zipengine/engine/unzip_session.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zengine {

namespace {

// Answers of the replace callback that allow replacing (the classic engine's values).
constexpr int ReplaceYes = 102;
constexpr int ReplaceAll = 103;

// The DOS attributes of a volume label entry and of a folder. An entry with both (attribute
// byte 0xFF, written by some packers for any file) is no volume label.
constexpr zip_uint32_t DosVolumeLabel = 0x08;
constexpr zip_uint32_t DosFolder = 0x10;

mode_t processUmask()
{
    static const mode_t mask = [] {
        if (FILE *f = std::fopen("/proc/self/status", "re")) {
            char line[256];
            unsigned value = 0;
            bool found = false;
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "Umask: %o", &value) == 1) {
                    found = true;
                    break;
                }
            std::fclose(f);
            if (found)
                return static_cast<mode_t>(value);
        }
        const mode_t old = umask(022);
        umask(old);
        return old;
    }();
    return mask;
}

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

enum class WalkFailure { None, Missing, Link, NotFolder, Other };

// Opens the first `count` parts as folders below `base`, creating missing ones when allowed,
// never following a symbolic link. Returns the last folder's descriptor or -1.
int openFolders(int base, const std::vector<std::string> &parts, size_t count, bool create,
                WalkFailure &why, int &error)
{
    why = WalkFailure::None;
    int fd = fcntl(base, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        why = WalkFailure::Other;
        error = errno;
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        const char *part = parts[i].c_str();
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = openat(fd, part, flags);
        if (next < 0 && errno == ENOENT && create) {
            if (mkdirat(fd, part, 0777) != 0 && errno != EEXIST) {
                error = errno;
                why = WalkFailure::Other;
                close(fd);
                return -1;
            }
            next = openat(fd, part, flags);
        }
        if (next < 0) {
            error = errno;
            struct stat st;
            if (error == ENOENT)
                why = WalkFailure::Missing;
            else if (fstatat(fd, part, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                why = WalkFailure::Link;
            else if (error == ENOTDIR)
                why = WalkFailure::NotFolder;
            else
                why = WalkFailure::Other;
            close(fd);
            return -1;
        }
        close(fd);
        fd = next;
    }
    return fd;
}

// Reports why the folders could not be opened; false when the member is silently skipped.
void reportWalk(UnzipSession &session, std::string_view name, WalkFailure why, int error)
{
    switch (why) {
    case WalkFailure::Link:
        session.error(name, "name leads outside the target folder", PK_ERR);
        break;
    case WalkFailure::NotFolder:
        session.error(name, "a file is in the way of its folder", PK_ERR);
        break;
    default:
        session.error(name, reasonFor(error), error == ENOSPC ? PK_DISK : PK_ERR);
        break;
    }
}

// A creation refused because the target folder itself cannot be written (no permission, a
// read-only file system): every later member would fail the same way, so the call stops and
// says it once, naming the folder, instead of once per member.
bool targetRefuses(UnzipSession &session, int targetFd, int error)
{
    if (error != EACCES && error != EPERM && error != EROFS)
        return false;
    if (error != EROFS && faccessat(targetFd, ".", W_OK, AT_EACCESS) == 0)
        return false; // only a folder below it is closed
    session.error(session.dcl().lpszExtractDir,
                  "the target folder cannot be written (" + reasonFor(error) +
                      "); nothing more is extracted",
                  PK_ERR);
    return true;
}

std::string joined(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &part : parts) {
        if (!text.empty())
            text += '/';
        text += part;
    }
    return text;
}

bool dosMadeArchive(zip_uint8_t system)
{
    return system == ZIP_OPSYS_DOS || system == ZIP_OPSYS_OS_2 ||
           system == ZIP_OPSYS_WINDOWS_NTFS || system == ZIP_OPSYS_VFAT;
}

// A file's time rounded up to even seconds, as the member's DOS time is.
time_t evenSecondsUp(const timespec &t)
{
    time_t seconds = t.tv_sec + (t.tv_nsec > 0 ? 1 : 0);
    return seconds + (seconds & 1);
}

bool writeAll(int fd, const char *data, size_t length, int &error)
{
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool extractMember(UnzipSession &session, zip_t *archive, zip_uint64_t index,
                   const zip_stat_t &stat, std::string_view name, int targetFd,
                   const char *password, const MemberFacts *facts)
{
    const DCL &dcl = session.dcl();
    zip_uint8_t system = ZIP_OPSYS_UNIX;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
        system = ZIP_OPSYS_DOS;
        attributes = 0;
    }
    const bool dosMade = dosMadeArchive(system);
    const bool keepPaths = dcl.ndflag != 0;
    const bool isFolder = !name.empty() && (name.back() == '/' || (dosMade && name.back() == '\\'));
    const mode_t unixMode = system == ZIP_OPSYS_UNIX ? static_cast<mode_t>(attributes >> 16) : 0;

    if (isFolder && !keepPaths)
        return true; // without paths, folder entries make nothing
    if (!isFolder && (attributes & DosVolumeLabel) && !(attributes & DosFolder))
        return true; // a disk's name, not a file: listed, never extracted
    if (!isFolder && S_ISLNK(unixMode)) {
        session.warning(name, "symbolic link not extracted");
        return true;
    }
    const TargetPath target = targetPath(name, dosMade, keepPaths, dcl.SpaceToUnderscore != 0);
    if (target.parts.empty()) {
        if (!isFolder)
            session.error(name, "name leads outside the target folder", PK_ERR);
        return true;
    }
    const bool onlyNewer = dcl.ExtractOnlyNewer != 0;
    const bool update = dcl.nUflag != 0;
    const bool overwrite = dcl.noflag != 0;
    const bool mayCreate = !onlyNewer;

    WalkFailure why = WalkFailure::None;
    int error = 0;
    if (isFolder) {
        const int fd =
            openFolders(targetFd, target.parts, target.parts.size(), mayCreate, why, error);
        if (fd >= 0)
            close(fd);
        else if (why == WalkFailure::Other && targetRefuses(session, targetFd, error))
            return false;
        else if (why != WalkFailure::Missing)
            reportWalk(session, name, why, error);
        return !(why == WalkFailure::Other && (error == ENOSPC || error == EDQUOT));
    }

    const Fd dir(
        openFolders(targetFd, target.parts, target.parts.size() - 1, mayCreate, why, error));
    if (dir.get() < 0) {
        if (why == WalkFailure::Missing)
            return true; // only existing files are replaced, and this one cannot exist
        if (why == WalkFailure::Other && targetRefuses(session, targetFd, error))
            return false;
        reportWalk(session, name, why, error);
        return !(why == WalkFailure::Other && (error == ENOSPC || error == EDQUOT));
    }
    if (target.trimmed)
        session.warning(name, "absolute path or \"..\" parts dropped, extracted as " +
                                  joined(target.parts));

    const std::string &leaf = target.parts.back();
    // The extended timestamp is in UTC; the DOS fields are in the packer's local time.
    const time_t memberTime = facts && facts->hasUnixTime     ? static_cast<time_t>(facts->unixTime)
                              : (stat.valid & ZIP_STAT_MTIME) ? stat.mtime
                                                              : time(nullptr);
    struct stat existing;
    bool replace = false;
    if (fstatat(dir.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            session.error(name, "a folder of that name exists", PK_ERR);
            return true;
        }
        if (overwrite) {
            replace = true;
        } else if (onlyNewer || update) {
            if (evenSecondsUp(existing.st_mtim) >= memberTime)
                return true; // the existing file is up to date
            replace = true;
        } else if (dcl.PromptToOverwrite && session.functions() && session.functions()->replace) {
            std::string question(name);
            const int answer = session.functions()->replace(question.data());
            replace = answer == ReplaceYes || answer == ReplaceAll;
        }
        if (!replace) {
            session.warning(name, "existing file kept");
            return true;
        }
    } else if (onlyNewer) {
        return true; // creates nothing new
    }

    session.sweepOnce(dir.get());
    TempFile temporary;
    Fd file(createTempFile(dir.get(), 0600, temporary));
    if (file.get() < 0) {
        const int e = errno;
        if (targetRefuses(session, targetFd, e))
            return false;
        session.error(name, reasonFor(e), e == ENOSPC || e == EDQUOT ? PK_DISK : PK_ERR);
        return !(e == ENOSPC || e == EDQUOT);
    }
    int writeError = 0;
    bool cancelled = false;
    zip_uint64_t written = 0;
    ReadFailure failure;
    const ReadOutcome outcome = readMember(
        archive, index, stat.size, password,
        [&](const char *data, size_t length) {
            if (!writeAll(file.get(), data, length, writeError))
                return false;
            written += length;
            cancelled = !session.progress(written);
            return !cancelled;
        },
        failure, facts);
    if (outcome == ReadOutcome::Done) {
        mode_t mode = (unixMode & 0777) ? (unixMode & 0777) : 0666;
        mode &= ~processUmask(); // never set-user-id, set-group-id or sticky
        const timespec times[2] = {{memberTime, 0}, {memberTime, 0}};
        fchmod(file.get(), mode);
        futimens(file.get(), times);
    }
    if (outcome != ReadOutcome::Done || writeError != 0) {
        discardTempFile(temporary);
        if (cancelled) {
            session.raise(IZ_CTRLC); // nothing of the member is left behind
            return false;
        }
        if (outcome == ReadOutcome::Failed) {
            session.error(name, failure.reason, failure.code);
            return failure.code != PK_MEM;
        }
        const bool full = writeError == ENOSPC || writeError == EDQUOT;
        session.error(name, reasonFor(writeError), full ? PK_DISK : PK_ERR);
        return !full;
    }
    // The verified file gets its name while it is still open (a nameless one needs that).
    const int moveError = commitTempFile(temporary, file.get(), leaf, replace);
    discardTempFile(temporary);
    if (close(file.release()) != 0 && moveError == 0) {
        const int e = errno;
        session.error(name, reasonFor(e), e == ENOSPC || e == EDQUOT ? PK_DISK : PK_ERR);
        return !(e == ENOSPC || e == EDQUOT);
    }
    if (moveError != 0) {
        if (moveError == EEXIST)
            session.warning(name, "existing file kept");
        else
            session.error(name, reasonFor(moveError), PK_ERR);
    }
    return true;
}

} // namespace zengine
