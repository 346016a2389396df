// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/engine/zip_parallel.h"

#include "zipengine/engine/internal.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <new>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace zengine {

namespace {

constexpr size_t ReadBlock = 256 << 10;  // input deflated per step
constexpr size_t OutputPiece = 64 << 10; // output buffer growth per deflate call
// Deflated data waiting for the commit: at most this much per file (its worker waits), and no
// new file is handed out while all files together hold more than the budget. A big file that
// the commit copies slowly thus lets the other workers run on ahead, within these bounds.
constexpr size_t QueueLimit = 8 << 20;
constexpr size_t QueueBudget = 48 << 20;
constexpr size_t MaxAhead = 64; // files handed out and not yet taken by the commit

// The commands a source supports, as libzip wants them answered.
zip_int64_t commandBitmap(std::initializer_list<zip_source_cmd_t> commands)
{
    zip_int64_t bitmap = 0;
    for (const zip_source_cmd_t command : commands)
        bitmap |= zip_int64_t(1) << command;
    return bitmap;
}

struct Failure
{
    int zipError = 0;
    int systemError = 0;
    int code = 0;
    std::string reason;

    bool set(int zip, int system, int failCode, std::string text)
    {
        zipError = zip;
        systemError = system;
        code = failCode;
        reason = std::move(text);
        return false;
    }
    bool changedSize()
    {
        return set(ZIP_ER_READ, 0, ZE_READ, "file changed size while being read");
    }
};

} // namespace

// Reads one input file with the same checks as the commit's own input source (it must end
// where it ended when it was scanned, and not change while it is read) and deflates it as
// libzip's deflate would at the same level: raw deflate, full window; memory level 8, zlib's
// default (libzip's 9 costs about 29% more time for 0.05% smaller output). One deflater serves
// file after file: its stream is reset, not made anew, for each (which gives the same output).
class Deflater
{
public:
    Deflater() = default;
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;
    ~Deflater()
    {
        release();
        if (m_streamReady)
            deflateEnd(&m_stream);
    }

    bool begin(const InputFile &file, int level, Failure &f)
    {
        release();
        m_expected = static_cast<zip_uint64_t>(file.input->seen.size);
        m_done = 0;
        m_ended = false;
        m_fd = openRegularFile(file.input->path);
        if (m_fd < 0)
            return f.set(ZIP_ER_OPEN, errno, ZE_OPEN, reasonFor(errno));
        if (::fstat(m_fd, &m_read) != 0)
            return f.set(ZIP_ER_READ, errno, ZE_READ, reasonFor(errno));
        if (static_cast<zip_uint64_t>(m_read.st_size) != m_expected)
            return f.changedSize();
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        if (m_expected > 0) {
            if (!startStream(level))
                return f.set(ZIP_ER_MEMORY, 0, ZE_MEM, "out of memory");
            m_deflating = true;
            m_in.resize(static_cast<size_t>(std::min<zip_uint64_t>(m_expected, ReadBlock)));
        }
        m_crc = static_cast<zip_uint32_t>(crc32(0, nullptr, 0));
        return true;
    }

    // Reads and deflates the next block, appending the deflated bytes to `out`.
    bool step(std::vector<char> &out, Failure &f)
    {
        if (m_done == m_expected)
            return finish(out, f);
        const auto want =
            static_cast<size_t>(std::min<zip_uint64_t>(m_in.size(), m_expected - m_done));
        size_t got = 0;
        while (got < want) {
            const ssize_t n = ::read(m_fd, m_in.data() + got, want - got);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return f.set(ZIP_ER_READ, errno, ZE_READ, reasonFor(errno));
            }
            if (n == 0)
                return f.changedSize();
            got += static_cast<size_t>(n);
        }
        m_done += got;
        m_crc = static_cast<zip_uint32_t>(crc32(m_crc, m_in.data(), static_cast<uInt>(got)));
        m_stream.next_in = m_in.data();
        m_stream.avail_in = static_cast<uInt>(got);
        return deflateInto(out, Z_NO_FLUSH, f);
    }

    bool ended() const { return m_ended; }
    zip_uint64_t done() const { return m_done; }
    zip_uint32_t crc() const { return m_crc; }
    const struct stat &read() const { return m_read; }

private:
    bool finish(std::vector<char> &out, Failure &f)
    {
        char extra;
        const ssize_t n = ::read(m_fd, &extra, 1);
        if (n < 0)
            return f.set(ZIP_ER_READ, errno, ZE_READ, reasonFor(errno));
        if (n > 0)
            return f.changedSize();
        struct stat now;
        if (::fstat(m_fd, &now) != 0 || now.st_size != m_read.st_size)
            return f.changedSize();
        if (now.st_mtim.tv_sec != m_read.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != m_read.st_mtim.tv_nsec)
            return f.set(ZIP_ER_READ, 0, ZE_READ, "file changed while being read");
        if (m_deflating) {
            m_stream.next_in = nullptr;
            m_stream.avail_in = 0;
            if (!deflateInto(out, Z_FINISH, f))
                return false;
        }
        m_ended = true;
        release();
        return true;
    }

    bool deflateInto(std::vector<char> &out, int flush, Failure &f)
    {
        for (;;) {
            const size_t before = out.size();
            out.resize(before + OutputPiece);
            m_stream.next_out = reinterpret_cast<Bytef *>(out.data() + before);
            m_stream.avail_out = static_cast<uInt>(OutputPiece);
            const int result = deflate(&m_stream, flush);
            out.resize(before + OutputPiece - m_stream.avail_out);
            if (result == Z_STREAM_ERROR)
                return f.set(ZIP_ER_INTERNAL, 0, ZE_MEM, "deflate failed");
            if (flush == Z_FINISH ? result == Z_STREAM_END : m_stream.avail_out != 0)
                return true;
        }
    }

    bool startStream(int level)
    {
        if (m_streamReady && m_level == level)
            return deflateReset(&m_stream) == Z_OK;
        if (m_streamReady)
            deflateEnd(&m_stream);
        std::memset(&m_stream, 0, sizeof m_stream);
        m_streamReady =
            deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        m_level = level;
        return m_streamReady;
    }

    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_deflating = false;
    }

    int m_fd = -1;
    z_stream m_stream = {};
    bool m_streamReady = false; // initialised, for m_level
    int m_level = 0;
    bool m_deflating = false;
    bool m_ended = false;
    std::vector<Bytef> m_in;
    zip_uint64_t m_expected = 0;
    zip_uint64_t m_done = 0;
    zip_uint32_t m_crc = 0;
    struct stat m_read = {};
};

// A file from its hand-out until the commit has taken its data.
struct DeflatePool::Job
{
    InputFile *file = nullptr;

    // Guarded by the pool's mutex.
    bool claimed = false; // taken by a worker, or by the commit's thread itself
    bool finished = false;
    bool failed = false;
    // Deflated bytes with the input bytes behind them.
    std::list<std::pair<std::vector<char>, zip_uint64_t>> pieces;
    size_t queued = 0;
    Failure failure;
    zip_uint32_t crc = 0;
    FileStamp read;

    // The commit's thread only.
    std::unique_ptr<Deflater> own; // when no worker took the file
    std::vector<char> current;
    size_t currentPos = 0;
    zip_uint64_t inputTaken = 0; // input bytes of the pieces taken so far
};

// The source callback reaches the pool's private parts through this.
struct PoolAccess
{
    static zip_int64_t failed(DeflatePool &pool, const InputFile &file, const Failure &f)
    {
        pool.m_state.fail(f.code, std::string(file.input->path) + ": " + f.reason);
        zip_error_set(&pool.m_error, f.zipError, f.systemError);
        return -1;
    }

    // The commit has all of the file's data: what it needed while it was read goes.
    static zip_int64_t delivered(DeflatePool &pool, InputFile &file, zip_uint32_t crc,
                                 const FileStamp &read)
    {
        file.crc = crc;
        file.complete = true;
        pool.m_state.readAs(*file.input, read);
        pool.m_state.filesDone += static_cast<zip_uint64_t>(file.input->seen.size);
        ++pool.m_taken;
        const auto found = pool.m_active.find(&file);
        if (found != pool.m_active.end()) {
            if (found->second->own)
                pool.m_spare = std::move(found->second->own);
            pool.m_active.erase(found);
        }
        return 0;
    }

    static zip_int64_t read(DeflatePool &pool, InputFile &file, void *data, zip_uint64_t len)
    {
        if (file.complete)
            return 0;
        DeflatePool::Job *found = pool.active(file);
        if (!found) {
            zip_error_set(&pool.m_error, ZIP_ER_INTERNAL, 0);
            return -1;
        }
        DeflatePool::Job &job = *found;
        for (;;) {
            if (job.currentPos < job.current.size()) {
                const size_t n = static_cast<size_t>(
                    std::min<zip_uint64_t>(len, job.current.size() - job.currentPos));
                std::memcpy(data, job.current.data() + job.currentPos, n);
                job.currentPos += n;
                return static_cast<zip_int64_t>(n);
            }
            if (job.own) {
                // Deflated here, one block per read.
                if (job.own->ended())
                    return delivered(pool, file, job.own->crc(), FileStamp(job.own->read()));
                job.current.clear();
                job.currentPos = 0;
                Failure f;
                if (!job.own->step(job.current, f))
                    return failed(pool, file, f);
                if (!reportProgress(pool.m_state, job.own->done()))
                    return cancelled(pool);
                continue;
            }
            std::unique_lock lock(pool.m_mutex);
            if (!job.pieces.empty()) {
                job.current = std::move(job.pieces.front().first);
                job.inputTaken += job.pieces.front().second;
                job.pieces.pop_front();
                job.currentPos = 0;
                job.queued -= job.current.size();
                pool.m_queuedTotal -= job.current.size();
                lock.unlock();
                pool.m_changed.notify_all();
                if (!reportProgress(pool.m_state, job.inputTaken))
                    return cancelled(pool);
                continue;
            }
            if (job.failed) {
                const Failure f = job.failure;
                lock.unlock();
                return failed(pool, file, f);
            }
            if (job.finished) {
                const zip_uint32_t crc = job.crc;
                const FileStamp st = job.read;
                lock.unlock();
                const zip_int64_t result = delivered(pool, file, crc, st);
                if (!pool.handOutAhead())
                    return cancelled(pool);
                return result;
            }
            if (!job.claimed) {
                // No worker is free for it (or there are none): the file is deflated here.
                job.claimed = true;
                pool.m_queue.erase(std::remove(pool.m_queue.begin(), pool.m_queue.end(), &job),
                                   pool.m_queue.end());
                lock.unlock();
                // One deflater serves these files in turn: its memory, made anew for each,
                // would go back to the system and come again.
                job.own = pool.m_spare ? std::move(pool.m_spare) : std::make_unique<Deflater>();
                Failure f;
                if (!job.own->begin(file, pool.m_level, f))
                    return failed(pool, file, f);
                continue;
            }
            pool.m_changed.wait(lock);
            lock.unlock();
            if (!pool.handOutAhead())
                return cancelled(pool);
        }
    }

    static zip_int64_t cancelled(DeflatePool &pool)
    {
        zip_error_set(&pool.m_error, ZIP_ER_CANCELLED, 0);
        return -1;
    }

    static zip_int64_t invalid(DeflatePool &pool)
    {
        zip_error_set(&pool.m_error, ZIP_ER_INVAL, 0);
        return -1;
    }

    static zip_int64_t stat(DeflatePool &pool, const InputFile &file, void *data, zip_uint64_t len)
    {
        auto *st = static_cast<zip_stat_t *>(data);
        if (len < sizeof *st)
            return invalid(pool);
        const auto size = static_cast<zip_uint64_t>(file.input->seen.size);
        zip_stat_init(st);
        // An empty file is handed over as it is; libzip decides how to store it.
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD;
        st->size = size;
        st->mtime = storedTime(file.input->seen);
        st->comp_method = size ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
        if (file.complete) {
            st->valid |= ZIP_STAT_CRC;
            st->crc = file.crc;
        }
        return sizeof *st;
    }

    static zip_int64_t attributes(DeflatePool &pool, const InputFile &file, void *data,
                                  zip_uint64_t len)
    {
        if (len < sizeof(zip_file_attributes_t))
            return invalid(pool);
        if (file.input->seen.size == 0)
            return 0;
        // What libzip's own deflate reports: the level class in bits 1-2, version 2.0.
        auto *attributes = static_cast<zip_file_attributes_t *>(data);
        const int level = pool.m_level;
        attributes->valid |=
            ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS | ZIP_FILE_ATTRIBUTES_VERSION_NEEDED;
        attributes->version_needed = 20;
        attributes->general_purpose_bit_flags = level < 3 ? (2 << 1) : level > 7 ? (1 << 1) : 0;
        attributes->general_purpose_bit_mask = 0x0006;
        return 0;
    }

    static zip_int64_t callback(void *userdata, void *data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        InputFile &file = *static_cast<InputFile *>(userdata);
        DeflatePool &pool = *static_cast<DeflatePool *>(file.reader);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            if (!pool.handOutUpTo(file.index) || !pool.handOutAhead())
                return cancelled(pool);
            return 0;
        case ZIP_SOURCE_READ:
            try {
                return read(pool, file, data, len);
            } catch (const std::bad_alloc &) {
                Failure f;
                f.set(ZIP_ER_MEMORY, 0, ZE_MEM, "out of memory");
                return failed(pool, file, f);
            }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT:
            return stat(pool, file, data, len);
        case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
            return attributes(pool, file, data, len);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&pool.m_error, data, len);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return commandBitmap({ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                  ZIP_SOURCE_GET_FILE_ATTRIBUTES});
        default:
            zip_error_set(&pool.m_error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

DeflatePool::DeflatePool(int level, CommitState &state, std::deque<InputFile> &files)
    : m_level(level), m_state(state), m_files(files)
{}

DeflatePool::~DeflatePool()
{
    stop();
}

zip_source_t *DeflatePool::source(zip_t *archive, InputFile &file)
{
    file.reader = this;
    return zip_source_function(archive, PoolAccess::callback, &file);
}

DeflatePool::Job *DeflatePool::active(const InputFile &file)
{
    const auto found = m_active.find(&file);
    return found == m_active.end() ? nullptr : found->second.get();
}

void DeflatePool::start()
{
    // One core: the commit's thread deflates on its own.
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores < 2)
        return;
    const size_t wanted = std::min<size_t>(cores, m_files.size());
    try {
        for (size_t i = 0; i < wanted; ++i)
            m_workers.emplace_back(&DeflatePool::work, this);
    } catch (const std::system_error &) {
        // Fewer workers (or none: the commit's thread deflates).
    }
}

void DeflatePool::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
}

void DeflatePool::work()
{
    // Kept from file to file: the stream's tables, and the buffer deflated data goes to.
    Deflater deflater;
    std::vector<char> out;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        Job &job = *m_queue.front();
        m_queue.pop_front();
        job.claimed = true;
        lock.unlock();
        m_changed.notify_all(); // the commit may hand out the next file
        deflateJob(job, deflater, out);
        lock.lock();
    }
}

void DeflatePool::deflateJob(Job &job, Deflater &deflater, std::vector<char> &out)
{
    Failure f;
    bool ok = false;
    try {
        ok = deflater.begin(*job.file, m_level, f);
        zip_uint64_t input = 0; // input bytes behind the deflated bytes not yet queued
        while (ok && !deflater.ended()) {
            out.clear();
            const zip_uint64_t before = deflater.done();
            ok = deflater.step(out, f);
            input += deflater.done() - before;
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || job.queued < QueueLimit; });
            if (m_stopping)
                return;
            if (!out.empty()) {
                job.queued += out.size();
                m_queuedTotal += out.size();
                // A small piece is copied and the buffer kept; a full one is handed over.
                if (out.size() < OutputPiece / 2)
                    job.pieces.emplace_back(std::vector<char>(out.begin(), out.end()), input);
                else
                    job.pieces.emplace_back(std::exchange(out, {}), input);
                input = 0;
                lock.unlock();
                m_changed.notify_all();
            }
        }
    } catch (const std::bad_alloc &) {
        ok = f.set(ZIP_ER_MEMORY, 0, ZE_MEM, "out of memory");
    }
    {
        std::lock_guard lock(m_mutex);
        if (ok) {
            job.finished = true;
            job.crc = deflater.crc();
            job.read = FileStamp(deflater.read());
        } else {
            job.failed = true;
            job.failure = f;
        }
    }
    m_changed.notify_all();
}

// The service callback learns of each file as it is handed out, before any of it is read.
bool DeflatePool::handOut(InputFile &file)
{
    const DLLSERVICE service = zipFunctions().ServiceApplication;
    if (service &&
        service(file.input->storedName, static_cast<zip_uint64_t>(file.input->seen.size)) != 0) {
        m_state.cancelled = true;
        return false;
    }
    auto job = std::make_unique<Job>();
    job->file = &file;
    Job *queued = job.get();
    m_active.emplace(&file, std::move(job));
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(queued);
    }
    ++m_nextHandOut;
    m_changed.notify_all();
    return true;
}

bool DeflatePool::handOutUpTo(size_t last)
{
    while (m_nextHandOut <= last && m_nextHandOut < m_files.size()) {
        if (!handOut(m_files[m_nextHandOut]))
            return false;
    }
    return !m_state.cancelled;
}

bool DeflatePool::handOutAhead()
{
    if (m_workers.empty())
        return !m_state.cancelled;
    while (m_nextHandOut < m_files.size() && m_nextHandOut < m_taken + MaxAhead) {
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.size() >= m_workers.size() || m_queuedTotal >= QueueBudget)
                break;
        }
        if (!handOut(m_files[m_nextHandOut]))
            return false;
    }
    return !m_state.cancelled;
}

} // namespace zengine
