// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files and folders a ZpArchive run takes in, and under which stored names.

#include "zipengine/engine/zip_report.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace zengine {

// What the packer keeps of a file's status, for each file until the commit ends: less than a
// third of a struct stat, which adds up over 100,000 files.
struct FileStamp
{
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int32_t mtimeNsec = 0;
    mode_t mode = 0;

    FileStamp() = default;
    explicit FileStamp(const struct stat &st)
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtimeSec(st.st_mtim.tv_sec),
          mtimeNsec(static_cast<std::int32_t>(st.st_mtim.tv_nsec)), mode(st.st_mode)
    {}
    // The same file with the same contents, as far as its status tells.
    bool sameAs(const FileStamp &o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtimeSec == o.mtimeSec &&
               mtimeNsec == o.mtimeNsec;
    }
    bool sameTime(const struct stat &st) const
    {
        return mtimeSec == st.st_mtim.tv_sec && mtimeNsec == st.st_mtim.tv_nsec;
    }
};

// The time an entry gets: DOS times have two-second steps and, like the classic tools, odd
// seconds are rounded up, so a file and its entry compare equal and an update run twice
// rewrites nothing.
inline time_t storedTime(const FileStamp &seen)
{
    const auto t = static_cast<time_t>(seen.mtimeSec);
    return t + (t & 1);
}

struct ZipInput
{
    const char *path = nullptr;       // path to open
    const char *storedName = nullptr; // entry name; folders end in "/"
    FileStamp seen;                   // what the scan found (links followed)

    bool isDir() const { return S_ISDIR(seen.mode); }
};

// The inputs of a run. Each name is kept once, in blocks that never move (a stored name that
// ends the path shares its bytes), and the records do not move either.
class InputList
{
public:
    std::deque<ZipInput> items;

    // A lasting copy of `text`.
    const char *keep(std::string_view text);
    void add(std::string_view path, std::string_view stored, const struct stat &st);

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char *m_next = nullptr;
    size_t m_left = 0;
};

struct InputRules
{
    bool junkDir = false;
    bool recurse = true;
    bool system = false;
    // The archive itself (when it exists) is never taken in.
    bool archiveExists = false;
    dev_t archiveDev = 0;
    ino_t archiveIno = 0;
    // Folder of the archive, where the engine's temporary files are written.
    std::string archiveDir;
};

// The stored name of `path`: the bare name with `junkDir`, otherwise the path without a
// leading "/" or "./" and without "." and ".." components. Empty when nothing is left.
std::string storedNameFor(const std::string &path, bool junkDir);

// Collects the named inputs: missing or unreadable ones give a warning and are left out.
// Returns ZE_OK, or ZE_PARMS after reporting two different files with the same stored name.
int collectInputs(const std::vector<const char *> &names, const InputRules &rules,
                  ZipReport &report, InputList &inputs);

} // namespace zengine
