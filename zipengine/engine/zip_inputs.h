// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files and folders a ZpArchive run takes in, and under which stored names.

#include "zipengine/engine/zip_report.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace zengine {

struct ZipInput
{
    std::string path;       // path to open
    std::string storedName; // entry name; folders end in "/"
    bool isDir = false;
    struct stat seen = {}; // what the scan found (links followed)
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
