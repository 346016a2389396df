// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/temp_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace zengine {

namespace {

constexpr char Prefix[] = ".quoril-";
constexpr char Suffix[] = ".tmp";

std::string namedTempName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::string name = Prefix + std::to_string(getpid()) + "-";
    for (int i = 0; i < 8; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name + Suffix;
}

// A named file of ours that no other process has: created exclusively, never through a link.
int createNamed(int dirFd, mode_t mode, std::string &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = namedTempName();
        const int fd =
            openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string procPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Moves a named temporary to `leaf`. Without `replace` an existing file stays.
int moveNamed(int dirFd, const std::string &from, const std::string &leaf, bool replace)
{
    if (replace)
        return renameat(dirFd, from.c_str(), dirFd, leaf.c_str()) == 0 ? 0 : errno;
    if (renameat2(dirFd, from.c_str(), dirFd, leaf.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (linkat(dirFd, from.c_str(), dirFd, leaf.c_str(), 0) != 0)
        return errno;
    unlinkat(dirFd, from.c_str(), 0);
    return 0;
}

bool processGone(pid_t pid)
{
    return kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

int createTempFile(int dirFd, mode_t mode, TempFile &temp)
{
    temp.dirFd = dirFd;
    temp.name.clear();
    // Linking a nameless file in goes through /proc; without it, a named file is used.
    static const bool procMounted = access("/proc/self/fd", X_OK) == 0;
    if (procMounted) {
        const int fd = openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        // File systems without nameless files say so with one of these.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return -1;
    }
    return createNamed(dirFd, mode, temp.name);
}

int commitTempFile(TempFile &temp, int fd, const std::string &leaf, bool replace)
{
    if (!temp.name.empty()) {
        const int error = moveNamed(temp.dirFd, temp.name, leaf, replace);
        if (error == 0)
            temp.name.clear();
        return error;
    }
    const std::string self = procPath(fd);
    if (!replace)
        return linkat(AT_FDCWD, self.c_str(), temp.dirFd, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    // A link cannot replace a file: the file gets a temporary name of its own first (which a
    // later run sweeps should the process die right here), then is renamed over the old one.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = namedTempName();
        if (linkat(AT_FDCWD, self.c_str(), temp.dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp.name = std::move(name);
            return commitTempFile(temp, fd, leaf, true);
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

void discardTempFile(TempFile &temp)
{
    if (!temp.name.empty())
        unlinkat(temp.dirFd, temp.name.c_str(), 0);
    temp.name.clear();
}

bool isTempFileName(const std::string &name, pid_t &pid)
{
    constexpr size_t prefix = sizeof Prefix - 1;
    constexpr size_t suffix = sizeof Suffix - 1;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, Prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, Suffix) != 0)
        return false;
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 9 || dash + 1 == middle.size())
        return false;
    long value = 0;
    for (size_t i = 0; i < middle.size(); ++i) {
        const char c = middle[i];
        if (i < dash) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        } else if (i > dash &&
                   !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    pid = static_cast<pid_t>(value);
    return pid > 0;
}

void sweepStaleTempFiles(int dirFd)
{
    const int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    const uid_t me = geteuid();
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            continue;
        const std::string name = entry->d_name;
        pid_t pid = 0;
        struct stat st;
        if (!isTempFileName(name, pid) || pid == getpid() ||
            fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != me || !processGone(pid))
            continue;
        unlinkat(dirFd, name.c_str(), 0);
    }
    closedir(dir);
}

} // namespace zengine
