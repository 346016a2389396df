// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files and folders a ZpArchive run takes in, and under which stored names.

#include "zipengine/engine/zip_report.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace zengine {

// What the packer keeps of a file's status, for each file until the commit ends: a third of
// a struct stat, which adds up over 100,000 files.
struct FileStamp
{
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime = {};
    mode_t mode = 0;

    FileStamp() = default;
    explicit FileStamp(const struct stat &st)
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtime(st.st_mtim), mode(st.st_mode)
    {}
    // The same file with the same contents, as far as its status tells.
    bool sameAs(const FileStamp &o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

struct ZipInput
{
    std::string path;       // path to open
    std::string storedName; // entry name; folders end in "/"
    bool isDir = false;
    FileStamp seen; // what the scan found (links followed)
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
int collectInputs(const std::vector<std::string> &names, const InputRules &rules, ZipReport &report,
                  std::vector<ZipInput> &inputs);

} // namespace zengine
