// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two kinds of libzip sources ZpArchive uses: the archive file itself, written through a
// temporary file that is flushed to disk before it replaces the archive, and the input files,
// read with checks that no torn copy gets stored.

#include "zipengine/engine/kept_records.h"
#include "zipengine/engine/temp_files.h"
#include "zipengine/engine/zip_inputs.h"

#include <zip.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace zengine {

// What went wrong inside a source during the commit; the first failure wins.
struct CommitState
{
    bool cancelled = false;
    int code = 0;
    std::string reason;
    zip_uint64_t filesDone = 0; // input bytes of the files written whole so far
    zip_uint64_t nextReport = 0;
    zip_uint64_t reported = 0;                        // the bytes last reported
    std::chrono::steady_clock::time_point lastReport; // when
    // Added files whose status as they were read differs from what the scan found (rare), for
    // the removal of moved files.
    std::unordered_map<const ZipInput *, FileStamp> readOtherwise;

    // A file was read whole as `read` says.
    void readAs(const ZipInput &input, const FileStamp &read)
    {
        if (!read.sameAs(input.seen))
            readOtherwise[&input] = read;
        else if (!readOtherwise.empty())
            readOtherwise.erase(&input);
    }
    void fail(int failCode, const std::string &failReason)
    {
        if (!code) {
            code = failCode;
            reason = failReason;
        }
    }
};

// Progress inside a file: while a file's data goes into the archive, the service callback is
// also called with no name and the input bytes the commit has taken in (earlier files whole,
// this one up to `fileDone`), at most once per ProgressStep bytes. A non-zero answer cancels
// the commit; false then.
constexpr zip_uint64_t ProgressStep = 256 << 10;
bool reportProgress(CommitState &state, zip_uint64_t fileDone);
// While libzip writes the archive at the end (copying the entries an update keeps, which takes
// long in a large archive), the service callback is asked again with the bytes last reported,
// at most every PollInterval, so that the caller can stay responsive and cancel. The cancel
// callback libzip calls; non-zero cancels.
constexpr std::chrono::milliseconds PollInterval{50};
int pollCommit(zip_t *archive, void *state);
// Has libzip call `callback` with `state` all through zip_close, also while it copies the
// entries an update keeps; a non-zero answer cancels the close. False when libzip refused.
bool registerCancelCallback(zip_t *archive, zip_cancel_callback callback, void *state);

// How much of the new archive is handed to the disk at a time while it is written.
constexpr zip_int64_t WritebackChunk = 8 << 20;

struct ArchiveFile
{
    std::string path; // the archive, symbolic links resolved
    std::string dir;  // its folder
    bool existed = false;
    // The archive as it was read, open and locked for the run (-1 for a new archive); the new
    // archive replaces it only while the path still names this very file.
    int heldFd = -1;
    struct stat original = {};
    CommitState *state = nullptr;
    // When set, libzip writes only the changed and added members, and the untouched ones are
    // copied raw behind them as the plan says.
    KeepPlan *keep = nullptr;

    // Internal to the source. The old archive is read with pread through a window: libzip
    // asks for each entry's header and data with a seek and a read, and a position kept here
    // costs no system call.
    int inFd = -1;
    zip_uint64_t inSize = 0;
    zip_uint64_t inPos = 0;
    std::unique_ptr<char[]> window; // left uninitialised: pread fills it
    zip_uint64_t windowStart = 0;
    size_t windowLength = 0;
    FILE *out = nullptr;
    std::unique_ptr<char[]> outBuffer; // the stream's buffer, uninitialised like malloc's own
    int dirFd = -1;                    // the folder, open while the new archive is written
    TempFile temp;
    zip_int64_t writePos = 0;
    zip_int64_t writeEnd = 0;
    zip_int64_t writebackFrom = 0;
    zip_error_t error = {};
};

// `archive` must outlive the source.
zip_source_t *archiveSource(ArchiveFile &archive, zip_error_t *error);

// A file added to the archive, as libzip's source for it sees it. There is one for every added
// file until the archive is closed, so it holds only what libzip may still ask of the source;
// what reading the file needs lives with its reader while the file is read.
struct InputFile
{
    const ZipInput *input = nullptr;
    void *reader = nullptr; // what reads it: a PlainReader, or the pool that deflates it
    zip_uint32_t crc = 0;   // of its data, once complete
    zip_uint32_t index = 0; // its place among the added files
    bool complete = false;  // read to its end, unchanged
    bool serviced = false;  // announced to the service callback
};

// Reads added files as they are, one at a time as the commit asks for them.
struct PlainReader
{
    CommitState *state = nullptr;
    const InputFile *open = nullptr; // the file being read
    int fd = -1;
    zip_uint64_t done = 0;
    FileStamp read; // what was opened
    zip_error_t error = {};

    PlainReader() = default;
    PlainReader(const PlainReader &) = delete;
    PlainReader &operator=(const PlainReader &) = delete;
    ~PlainReader() { close(); }
    void close();
};

// `file` and `reader` must outlive the source. The service callback of the zip callback table
// is called once as the file is opened for adding; a non-zero answer cancels the commit.
zip_source_t *inputSource(zip_t *archive, InputFile &file, PlainReader &reader);

// Folder part and base name of a path ("." for a bare name).
std::string folderOf(const std::string &path);
std::string baseNameOf(const std::string &path);

// Flushes a folder's entries to disk.
void syncFolder(const std::string &dir);

} // namespace zengine
