// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/zip_sources.h"

#include "zipengine/engine/internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace zengine {

bool reportProgress(CommitState &state, zip_uint64_t fileDone)
{
    const zip_uint64_t done = state.filesDone + fileDone;
    if (done < state.nextReport)
        return !state.cancelled;
    state.nextReport = done + ProgressStep;
    state.reported = done;
    state.lastReport = std::chrono::steady_clock::now();
    const DLLSERVICE service = zipFunctions().ServiceApplication;
    if (service && service(nullptr, done) != 0)
        state.cancelled = true;
    return !state.cancelled;
}

int pollCommit(zip_t *, void *data)
{
    CommitState &state = *static_cast<CommitState *>(data);
    if (state.cancelled)
        return 1;
    const auto now = std::chrono::steady_clock::now();
    if (now - state.lastReport < PollInterval)
        return 0;
    state.lastReport = now;
    const DLLSERVICE service = zipFunctions().ServiceApplication;
    if (service && service(nullptr, state.reported) != 0)
        state.cancelled = true;
    return state.cancelled ? 1 : 0;
}

bool registerCancelCallback(zip_t *archive, zip_cancel_callback callback, void *state)
{
    return zip_register_cancel_callback_with_state(archive, callback, nullptr, state) == 0;
}

namespace {

constexpr size_t ArchiveBufferSize = 1 << 20;

// The end-of-central-directory record of an archive without entries.
constexpr unsigned char EmptyArchive[22] = {'P', 'K', 5, 6};

zip_int64_t fail(zip_error_t &error, int zipError, int systemError)
{
    zip_error_set(&error, zipError, systemError);
    return -1;
}

// Creates the temporary file beside the archive (nameless where the file system allows it). It
// gets the archive's permission bits (and, where allowed, its owner), or the usual bits of a
// new file under the umask.
bool createTemp(ArchiveFile &a)
{
    if (a.dirFd < 0)
        a.dirFd = ::open(a.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int fd = a.dirFd < 0 ? -1 : createTempFile(a.dirFd, a.existed ? 0600 : 0666, a.temp);
    if (fd < 0) {
        const int code = errno;
        a.state->fail(
            a.existed ? ZE_TEMP : ZE_CREAT,
            (a.existed ? "cannot create a temporary file in " + a.dir : "cannot create " + a.path) +
                ": " + reasonFor(code));
        zip_error_set(&a.error, ZIP_ER_TMPOPEN, code);
        return false;
    }
    if (a.existed) {
        if (::fchown(fd, a.original.st_uid, a.original.st_gid) != 0) {
            // Another owner cannot be kept by an ordinary user; the group may still be.
            if (::fchown(fd, static_cast<uid_t>(-1), a.original.st_gid) != 0) {
            }
        }
        if (::fchmod(fd, a.original.st_mode & 07777) != 0) {
        }
    }
    // Write-only: on a stream that may also read, every fseeko (libzip makes one or two per
    // entry) has the C library read a whole buffer back from the file.
    a.out = ::fdopen(fd, "wb");
    if (!a.out) {
        const int code = errno;
        ::close(fd);
        discardTempFile(a.temp);
        a.state->fail(ZE_MEM, "out of memory");
        zip_error_set(&a.error, ZIP_ER_MEMORY, code);
        return false;
    }
    // Not zero-filled: a megabyte of zeroes per save is a sixth of a short command's time.
    a.outBuffer.reset(new char[ArchiveBufferSize]);
    setvbuf(a.out, a.outBuffer.get(), _IOFBF, ArchiveBufferSize);
    a.writePos = 0;
    a.writeEnd = 0;
    a.writebackFrom = 0;
    return true;
}

void dropTemp(ArchiveFile &a)
{
    if (a.out) {
        std::fclose(a.out);
        a.out = nullptr;
    }
    discardTempFile(a.temp);
}

void writeFailed(ArchiveFile &a, int code)
{
    a.state->fail(ZE_WRITE, "cannot write the new " + a.path + ": " + reasonFor(code));
    zip_error_set(&a.error, ZIP_ER_WRITE, code);
}

// The disk starts writing the new archive while it is still being written, so that the flush
// before the rename has little left to wait for. Only a hint: a failure here shows again at
// the flush, which is checked.
void startWriteback(ArchiveFile &a)
{
    if (a.writeEnd - a.writebackFrom < WritebackChunk)
        return;
    if (std::fflush(a.out) == 0)
        ::sync_file_range(fileno(a.out), a.writebackFrom, a.writeEnd - a.writebackFrom,
                          SYNC_FILE_RANGE_WRITE);
    a.writebackFrom = a.writeEnd;
}

bool writeOut(ArchiveFile &a, const void *data, size_t length)
{
    if (std::fwrite(data, 1, length, a.out) != length) {
        writeFailed(a, errno);
        return false;
    }
    // Positions are tracked here: asking the stream would cost a system call per piece.
    a.writePos += static_cast<zip_int64_t>(length);
    if (a.writePos > a.writeEnd)
        a.writeEnd = a.writePos;
    startWriteback(a);
    return true;
}

bool spliceFailed(ArchiveFile &a, const std::string &why)
{
    a.state->fail(ZE_WRITE, "cannot write the new " + a.path + ": " + why);
    zip_error_set(&a.error, ZIP_ER_WRITE, 0);
    return false;
}

// Copies one untouched member's local records raw to the end of the new archive.
bool copyKept(ArchiveFile &a, int fromFd, const RawMember &member, char *buffer, size_t size)
{
    uint64_t done = 0;
    while (done < member.localLength) {
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(size, member.localLength - done));
        const ssize_t n =
            ::pread(fromFd, buffer, want, static_cast<off_t>(member.localOffset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : 0;
            a.state->fail(ZE_READ, a.path + ": " + (code ? reasonFor(code) : "file is shorter"));
            zip_error_set(&a.error, ZIP_ER_READ, code);
            return false;
        }
        if (!writeOut(a, buffer, static_cast<size_t>(n)))
            return false;
        done += static_cast<uint64_t>(n);
        // The caller gets its turn and may cancel, as while libzip copies.
        if (pollCommit(nullptr, a.state) != 0) {
            zip_error_set(&a.error, ZIP_ER_CANCELLED, 0);
            return false;
        }
    }
    return true;
}

// Enough for the largest member copied raw, at most ArchiveBufferSize.
size_t copyBufferSize(const KeepPlan &plan)
{
    uint64_t largest = 1;
    for (const KeepPlan::Slot &slot : plan.slots)
        if (slot.original)
            largest = std::max(largest,
                               plan.original.members[static_cast<size_t>(slot.index)].localLength);
    return static_cast<size_t>(std::min<uint64_t>(ArchiveBufferSize, largest));
}

// libzip has written the changed and added members (and a directory of its own, which is
// overwritten): the untouched members follow as raw copies, then the directory of every
// member in the plan's order, and the end records with the original archive comment.
bool spliceKept(ArchiveFile &a)
{
    KeepPlan &plan = *a.keep;
    if (std::fflush(a.out) != 0) {
        writeFailed(a, errno);
        return false;
    }
    RawDirectory fresh;
    if (a.writeEnd > 0 &&
        !readRawDirectory(fileno(a.out), static_cast<uint64_t>(a.writeEnd), fresh))
        return spliceFailed(a, "the changed members do not read back");
    const zip_int64_t start = a.writeEnd > 0 ? static_cast<zip_int64_t>(fresh.directoryOffset) : 0;
    if (fseeko(a.out, start, SEEK_SET) != 0) {
        writeFailed(a, errno);
        return false;
    }
    a.writePos = start;
    // Not zero-filled: a megabyte of zeroes per save is a good part of a short command's time.
    const size_t bufferSize = copyBufferSize(plan);
    const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    for (const KeepPlan::Slot &slot : plan.slots) {
        if (!slot.original)
            continue;
        RawMember &member = plan.original.members[static_cast<size_t>(slot.index)];
        if (!setLocalOffset(member.central, static_cast<uint64_t>(a.writePos)))
            return spliceFailed(a, "a member's offset does not fit its record");
        if (!copyKept(a, plan.originalFd, member, buffer.get(), bufferSize))
            return false;
    }
    const auto directoryAt = static_cast<uint64_t>(a.writePos);
    size_t next = 0;
    for (const KeepPlan::Slot &slot : plan.slots) {
        if (!slot.original && next >= fresh.members.size())
            return spliceFailed(a, "members are missing");
        const std::string &central =
            slot.original ? plan.original.members[static_cast<size_t>(slot.index)].central
                          : fresh.members[next++].central;
        if (!writeOut(a, central.data(), central.size()))
            return false;
    }
    if (next != fresh.members.size())
        return spliceFailed(a, "members are left over");
    const std::string end =
        endRecords(plan.slots.size(), directoryAt, static_cast<uint64_t>(a.writePos) - directoryAt,
                   plan.original.comment);
    if (!writeOut(a, end.data(), end.size()))
        return false;
    if (std::fflush(a.out) != 0 || ::ftruncate(fileno(a.out), a.writePos) != 0) {
        writeFailed(a, errno);
        return false;
    }
    a.writeEnd = a.writePos;
    return true;
}

// The archive that was read is still the file at its path: nothing replaced or changed it
// while the new one was written. (A new archive must still be absent; the rename checks that.)
bool stillTheFileRead(const ArchiveFile &a)
{
    if (!a.existed)
        return true;
    struct stat now;
    const struct stat &was = a.original;
    return ::stat(a.path.c_str(), &now) == 0 && now.st_dev == was.st_dev &&
           now.st_ino == was.st_ino && now.st_size == was.st_size &&
           now.st_mtim.tv_sec == was.st_mtim.tv_sec && now.st_mtim.tv_nsec == was.st_mtim.tv_nsec &&
           now.st_ctim.tv_sec == was.st_ctim.tv_sec && now.st_ctim.tv_nsec == was.st_ctim.tv_nsec;
}

bool changedMeanwhile(ArchiveFile &a)
{
    a.state->fail(ZE_CREAT, a.path + " was changed by another program while it was being saved");
    zip_error_set(&a.error, ZIP_ER_CHANGED, 0);
    dropTemp(a);
    return false;
}

// The new archive reaches the disk before it replaces the old one, and the rename itself is
// flushed with the folder; a failure on the way leaves the old archive and no temporary file.
bool commitTemp(ArchiveFile &a)
{
    if (a.keep && !spliceKept(a)) {
        dropTemp(a);
        return false;
    }
    if (std::fflush(a.out) != 0 || ::fsync(fileno(a.out)) != 0) {
        writeFailed(a, errno);
        dropTemp(a);
        return false;
    }
    // Another writer's change is never silently replaced: the archive is left as it made it.
    if (!stillTheFileRead(a))
        return changedMeanwhile(a);
    // The file gets its name while it is open (a nameless one needs that); it is complete on
    // disk by now, so closing it afterwards cannot tear it.
    const int error = commitTempFile(a.temp, fileno(a.out), baseNameOf(a.path), a.existed);
    if (error == EEXIST && !a.existed)
        return changedMeanwhile(a);
    if (error != 0) {
        a.state->fail(ZE_TEMP, "cannot replace " + a.path + ": " + reasonFor(error));
        zip_error_set(&a.error, ZIP_ER_RENAME, error);
        dropTemp(a);
        return false;
    }
    std::fclose(a.out);
    a.out = nullptr;
    syncFolder(a.dir);
    return true;
}

void closeInput(ArchiveFile &a)
{
    if (a.inFd >= 0)
        ::close(a.inFd);
    a.inFd = -1;
    a.window.reset();
    a.windowLength = 0;
}

// Reads at the source's position through the window; a read larger than the window goes
// straight into the caller's buffer. Returns the bytes read (short at the end of the file)
// or -1 with errno set.
zip_int64_t readWindowed(ArchiveFile &a, char *data, zip_uint64_t len)
{
    zip_uint64_t done = 0;
    while (done < len && a.inPos < a.inSize) {
        if (a.inPos >= a.windowStart && a.inPos < a.windowStart + a.windowLength) {
            const size_t at = static_cast<size_t>(a.inPos - a.windowStart);
            const size_t n =
                static_cast<size_t>(std::min<zip_uint64_t>(a.windowLength - at, len - done));
            std::memcpy(data + done, a.window.get() + at, n);
            done += n;
            a.inPos += n;
            continue;
        }
        const bool direct = len - done >= ArchiveBufferSize;
        char *target = direct ? data + done : a.window.get();
        const size_t want = direct ? static_cast<size_t>(len - done) : ArchiveBufferSize;
        const ssize_t n = ::pread(a.inFd, target, want, static_cast<off_t>(a.inPos));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break; // the file is shorter than it was
        if (direct) {
            done += static_cast<zip_uint64_t>(n);
            a.inPos += static_cast<zip_uint64_t>(n);
        } else {
            a.windowStart = a.inPos;
            a.windowLength = static_cast<size_t>(n);
        }
    }
    return static_cast<zip_int64_t>(done);
}

zip_int64_t archiveCallback(void *userdata, void *data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    ArchiveFile &a = *static_cast<ArchiveFile *>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN: {
        // The file that was locked and checked is the one read.
        a.inFd =
            a.heldFd >= 0 ? ::fcntl(a.heldFd, F_DUPFD_CLOEXEC, 0) : openRegularFile(a.path.c_str());
        struct stat sb;
        if (a.inFd < 0 || ::fstat(a.inFd, &sb) != 0)
            return fail(a.error, ZIP_ER_OPEN, errno);
        a.inSize = static_cast<zip_uint64_t>(sb.st_size);
        a.inPos = 0;
        a.window.reset(new char[ArchiveBufferSize]);
        a.windowLength = 0;
        return 0;
    }
    case ZIP_SOURCE_READ: {
        const zip_int64_t n = readWindowed(a, static_cast<char *>(data), len);
        return n < 0 ? fail(a.error, ZIP_ER_READ, errno) : n;
    }
    case ZIP_SOURCE_CLOSE:
        closeInput(a);
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = static_cast<zip_stat_t *>(data);
        if (len < sizeof *st)
            return fail(a.error, ZIP_ER_INVAL, 0);
        struct stat sb;
        if (::stat(a.path.c_str(), &sb) != 0)
            return fail(a.error, ZIP_ER_READ, errno); // ENOENT: the archive is new
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        st->size = static_cast<zip_uint64_t>(sb.st_size);
        st->mtime = sb.st_mtime;
        return sizeof *st;
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&a.error, data, len);
    case ZIP_SOURCE_FREE:
        closeInput(a);
        dropTemp(a);
        if (a.dirFd >= 0)
            ::close(a.dirFd);
        a.dirFd = -1;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t target =
            zip_source_seek_compute_offset(a.inPos, a.inSize, data, len, &a.error);
        if (target < 0)
            return -1;
        a.inPos = static_cast<zip_uint64_t>(target);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(a.inPos);
    case ZIP_SOURCE_BEGIN_WRITE:
        return createTemp(a) ? 0 : -1;
    case ZIP_SOURCE_WRITE:
        return writeOut(a, data, len) ? static_cast<zip_int64_t>(len) : -1;
    case ZIP_SOURCE_SEEK_WRITE: {
        const zip_int64_t target = zip_source_seek_compute_offset(
            static_cast<zip_uint64_t>(a.writePos), static_cast<zip_uint64_t>(a.writeEnd), data, len,
            &a.error);
        if (target < 0)
            return -1;
        if (fseeko(a.out, target, SEEK_SET) != 0) {
            writeFailed(a, errno);
            return -1;
        }
        a.writePos = target;
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
        return a.writePos;
    case ZIP_SOURCE_COMMIT_WRITE:
        return commitTemp(a) ? 0 : -1;
    case ZIP_SOURCE_ROLLBACK_WRITE:
        dropTemp(a);
        return 0;
    case ZIP_SOURCE_REMOVE:
        // libzip removes an archive whose last entry was deleted; an empty archive is
        // written in its place instead, through the same safe path.
        // With untouched members kept aside, the directory is the splice's to write.
        if (!createTemp(a))
            return -1;
        if (!a.keep &&
            std::fwrite(EmptyArchive, 1, sizeof EmptyArchive, a.out) != sizeof EmptyArchive) {
            writeFailed(a, errno);
            dropTemp(a);
            return -1;
        }
        return commitTemp(a) ? 0 : -1;
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_WRITABLE;
    default:
        return fail(a.error, ZIP_ER_OPNOTSUPP, 0);
    }
}

zip_int64_t inputFailed(PlainReader &r, const InputFile &f, int zipError, int systemError, int code,
                        const std::string &reason)
{
    r.state->fail(code, std::string(f.input->path) + ": " + reason);
    return fail(r.error, zipError, systemError);
}

zip_int64_t changedSize(PlainReader &r, const InputFile &f)
{
    return inputFailed(r, f, ZIP_ER_READ, 0, ZE_READ, "file changed size while being read");
}

zip_int64_t openInput(PlainReader &r, InputFile &f)
{
    const auto expected = static_cast<zip_uint64_t>(f.input->seen.size);
    if (!f.serviced) {
        f.serviced = true;
        const DLLSERVICE service = zipFunctions().ServiceApplication;
        if (service && service(f.input->storedName, expected) != 0) {
            r.state->cancelled = true;
            return fail(r.error, ZIP_ER_CANCELLED, 0);
        }
    }
    r.close();
    r.open = &f;
    r.fd = openRegularFile(f.input->path);
    if (r.fd < 0) {
        const int code = errno;
        return inputFailed(r, f, ZIP_ER_OPEN, code, ZE_OPEN, reasonFor(code));
    }
    struct stat opened;
    if (::fstat(r.fd, &opened) != 0) {
        const int code = errno;
        return inputFailed(r, f, ZIP_ER_READ, code, ZE_READ, reasonFor(code));
    }
    r.read = FileStamp(opened);
    if (static_cast<zip_uint64_t>(r.read.size) != expected)
        return changedSize(r, f);
    ::posix_fadvise(r.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    r.done = 0;
    f.complete = false;
    return 0;
}

// The file must end where it ended when it was checked.
zip_int64_t endInput(PlainReader &r, InputFile &f)
{
    char extra;
    const ssize_t n = ::read(r.fd, &extra, 1);
    if (n < 0)
        return inputFailed(r, f, ZIP_ER_READ, errno, ZE_READ, reasonFor(errno));
    if (n > 0)
        return changedSize(r, f);
    struct stat now;
    if (::fstat(r.fd, &now) != 0 || now.st_size != r.read.size)
        return changedSize(r, f);
    if (!r.read.sameTime(now))
        return inputFailed(r, f, ZIP_ER_READ, 0, ZE_READ, "file changed while being read");
    f.complete = true;
    r.state->readAs(*f.input, r.read);
    r.state->filesDone += static_cast<zip_uint64_t>(r.read.size);
    return 0;
}

zip_int64_t readInput(PlainReader &r, InputFile &f, void *data, zip_uint64_t len)
{
    if (r.open != &f || r.fd < 0)
        return fail(r.error, ZIP_ER_INTERNAL, 0);
    const auto expected = static_cast<zip_uint64_t>(f.input->seen.size);
    if (r.done == expected)
        return endInput(r, f);
    const zip_uint64_t want = std::min<zip_uint64_t>(len, expected - r.done);
    zip_uint64_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(r.fd, static_cast<char *>(data) + got, want - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            return inputFailed(r, f, ZIP_ER_READ, code, ZE_READ, reasonFor(code));
        }
        if (n == 0)
            return changedSize(r, f);
        got += static_cast<zip_uint64_t>(n);
    }
    r.done += got;
    if (!reportProgress(*r.state, r.done))
        return fail(r.error, ZIP_ER_CANCELLED, 0);
    return static_cast<zip_int64_t>(got);
}

zip_int64_t inputCallback(void *userdata, void *data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    InputFile &f = *static_cast<InputFile *>(userdata);
    PlainReader &r = *static_cast<PlainReader *>(f.reader);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return openInput(r, f);
    case ZIP_SOURCE_READ:
        return readInput(r, f, data, len);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        if (r.open == &f)
            r.close();
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = static_cast<zip_stat_t *>(data);
        if (len < sizeof *st)
            return fail(r.error, ZIP_ER_INVAL, 0);
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        st->size = static_cast<zip_uint64_t>(f.input->seen.size);
        st->mtime = storedTime(f.input->seen);
        return sizeof *st;
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&r.error, data, len);
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
        return fail(r.error, ZIP_ER_OPNOTSUPP, 0);
    }
}

} // namespace

zip_source_t *archiveSource(ArchiveFile &archive, zip_error_t *error)
{
    zip_error_init(&archive.error);
    return zip_source_function_create(archiveCallback, &archive, error);
}

void PlainReader::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    open = nullptr;
}

zip_source_t *inputSource(zip_t *archive, InputFile &file, PlainReader &reader)
{
    file.reader = &reader;
    return zip_source_function(archive, inputCallback, &file);
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void syncFolder(const std::string &dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace zengine
