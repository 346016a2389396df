// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Temporary files of the engine that no killed run leaves behind. Where the file system
// allows it, a temporary file has no name until it is committed (O_TMPFILE, linked in at the
// end), so a run killed at any moment leaves nothing. Elsewhere it is named
// ".quoril-PID-XXXXXXXX.tmp" after the process that writes it, and the next run in that folder
// removes the temporaries whose process is gone.

#include <string>
#include <sys/types.h>

namespace zengine {

struct TempFile
{
    int dirFd = -1;   // the folder (not owned)
    std::string name; // empty while the file has no name of its own
};

// Creates a temporary file in the folder open as `dirFd` for reading and writing, with the
// permission bits `mode`. Returns its descriptor (the caller's to close) or -1 with errno set.
int createTempFile(int dirFd, mode_t mode, TempFile &temp);

// Gives the file open as `fd` the name `leaf` in its folder, replacing an existing file when
// `replace`, else failing with EEXIST. Returns 0 or an errno value; the file then is no
// temporary any more. Call it before closing `fd`.
int commitTempFile(TempFile &temp, int fd, const std::string &leaf, bool replace);

// Removes a temporary that was not committed (a nameless one goes when its descriptor is
// closed).
void discardTempFile(TempFile &temp);

// True when `name` has the form of the engine's named temporaries; `pid` is the process that
// made it.
bool isTempFileName(const std::string &name, pid_t &pid);

// Removes from the folder open as `dirFd` the engine's temporaries whose process is gone: only
// regular files of ours with exactly that form of name, never one of a running process.
void sweepStaleTempFiles(int dirFd);

} // namespace zengine
