// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Deflating the input files of a commit on worker threads.
//
// libzip compresses in one thread inside zip_close. Here each added file gets a source that
// hands libzip data that is already deflated (the source's stat names the deflate method, so
// libzip copies the bytes as they come); worker threads read and deflate the files ahead of
// the commit, in the order in which the commit asks for them.
//
// Everything the program sees happens on the thread that runs zip_close: the service callback
// is called as a file is handed to the workers (before anything of it is read), in the order
// of the entries, and called again with no name (reportProgress) as the commit takes each
// piece of deflated data; failures are recorded in the commit's state there. Memory stays bounded:
// a limited number of files is handed out ahead of the commit, each holds a limited amount of
// deflated data until the commit takes it, and no file is handed out while the data waiting
// exceeds a budget.

#include "zipengine/engine/zip_sources.h"

#include <zip.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zengine {

class Deflater;

class DeflatePool
{
public:
    // `level` 1..9; `state` receives failures and the cancel. `files` are the files to add, in
    // the order of their entries; they must outlive the pool.
    DeflatePool(int level, CommitState &state, std::deque<InputFile> &files);
    ~DeflatePool();
    DeflatePool(const DeflatePool &) = delete;
    DeflatePool &operator=(const DeflatePool &) = delete;

    // A source for `file`, one of the files, to be added to `archive`. Files are handed to the
    // workers in their order.
    zip_source_t *source(zip_t *archive, InputFile &file);

    // Starts the workers (before the commit); without them the commit deflates on its own thread.
    void start();
    // Stops and joins the workers; deflated data not yet taken is dropped.
    void stop();

    struct Job;

private:
    friend struct PoolAccess;

    void work();
    void deflateJob(Job &job, Deflater &deflater, std::vector<char> &out);
    bool handOutUpTo(size_t last);
    bool handOutAhead();
    bool handOut(InputFile &file);
    Job *active(const InputFile &file);

    const int m_level;
    CommitState &m_state;
    std::deque<InputFile> &m_files;
    // The files handed out and not yet taken by the commit (the commit's thread only). What a
    // file needs while it is deflated lives here, and goes as soon as the commit has its data.
    std::unordered_map<const InputFile *, std::unique_ptr<Job>> m_active;
    zip_error_t m_error = {}; // the last failure of a source, for libzip to ask right after
    std::unique_ptr<Deflater> m_spare; // for the next file the commit's thread deflates
    std::vector<std::thread> m_workers;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job *> m_queue; // handed out, not yet taken by a worker
    bool m_stopping = false;
    size_t m_nextHandOut = 0; // touched by the commit's thread only
    size_t m_taken = 0;       // jobs the commit has read to their end
    size_t m_queuedTotal = 0; // deflated bytes waiting for the commit, all jobs
};

} // namespace zengine
