// SPDX-License-Identifier: GPL-3.0-or-later
// ZpArchive: adding, replacing, updating and deleting entries over libzip.
//
// Result codes: a run whose commit succeeded returns 0 only when every input made it into
// the archive (added, replaced, or kept as up to date). When some inputs were left out (not
// found, unreadable) or a delete pattern matched nothing, the rest is still committed and the
// code of the first problem is returned (18 a file could not be opened, 11 read error, 12 a
// pattern matched nothing). Failures that stop the run leave the archive as it was.

#include "zipengine/engine/archive_cache.h"
#include "zipengine/engine/dos_times.h"
#include "zipengine/engine/internal.h"
#include "zipengine/engine/temp_files.h"
#include "zipengine/engine/zip_inputs.h"
#include "zipengine/engine/zip_parallel.h"
#include "zipengine/engine/zip_report.h"
#include "zipengine/engine/zip_sources.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace zengine {

namespace {

// Follows symbolic links of the archive path, so that the link stays and its target changes.
std::string resolveArchivePath(const std::string &given)
{
    std::string path = given;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            return path;
        target.resize(static_cast<size_t>(n));
        if (!target.empty() && target[0] != '/')
            target = folderOf(path) + "/" + target;
        path = target;
    }
    return path;
}

std::string patternOf(const char *name)
{
    std::string pattern = name;
    for (;;) {
        if (pattern.rfind("./", 0) == 0)
            pattern.erase(0, 2);
        else if (pattern.rfind("/", 0) == 0)
            pattern.erase(0, 1);
        else
            return pattern;
    }
}

enum class Outcome : char { Skipped, Added, Kept };

// What a run does to a member of the archive as it was.
enum class Touch : char { None, Replaced, Deleted, Added };

class ArchiveRun
{
public:
    explicit ArchiveRun(const ZPOPT &options) : m_options(options) {}

    ~ArchiveRun()
    {
        // The workers go before the sources that feed on them.
        if (m_pool)
            m_pool->stop();
        if (m_zip)
            zip_discard(m_zip);
        if (m_archive.heldFd >= 0)
            ::close(m_archive.heldFd); // and the lock goes with it
    }

    int run(const ZCL &command)
    {
        if (!command.lpszZipFN || !*command.lpszZipFN)
            return m_report.error("no archive named", ZE_PARMS);
        if (command.Argc < 0 || (command.Argc > 0 && !command.FNV))
            return m_report.error("bad list of names", ZE_PARMS);
        // The caller's names stay valid for the call: they are not copied.
        std::vector<const char *> names;
        for (int i = 0; i < command.Argc; ++i) {
            if (command.FNV[i] && *command.FNV[i])
                names.push_back(command.FNV[i]);
        }
        if (names.empty())
            return m_report.error("nothing to do", ZE_NONE);

        m_given = command.lpszZipFN;
        m_archive.path = resolveArchivePath(m_given);
        m_archive.dir = folderOf(m_archive.path);
        m_archive.state = &m_state;
        m_archive.existed = ::stat(m_archive.path.c_str(), &m_archive.original) == 0;
        m_statError = m_archive.existed ? 0 : errno;

        const bool deleting = m_options.fDeleteEntries != 0;
        if (int code = checkArchive(deleting))
            return code;
        if (m_archive.existed) {
            if (int code = holdArchive())
                return code;
        }
        // What killed runs left in the archive's folder goes before anything is written.
        const int dirFd = ::open(m_archive.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            sweepStaleTempFiles(dirFd);
            ::close(dirFd);
        }
        if (int code = open())
            return code;
        m_originalCount =
            static_cast<zip_uint64_t>(std::max<zip_int64_t>(zip_get_num_entries(m_zip, 0), 0));
        m_touched.assign(static_cast<size_t>(m_originalCount), Touch::None);

        if (deleting) {
            indexEntries();
            if (int code = planDeletes(names))
                return code;
        } else {
            if (int code = planInputs(names))
                return code;
        }
        return commit();
    }

private:
    // Writing would drop the data in front of the archive (a self-extractor's program): the
    // archive is left as it is instead.
    static constexpr const char *dataInFrontRefusal =
        ": has data in front of it (a self-extracting program?) that would be lost; the archive "
        "is left unchanged";
    static constexpr const char *falseLocatorRefusal =
        ": the end of its directory (a member's name) looks like a Zip64 record to the writer, "
        "which cannot read past it; the archive is left unchanged";
    static constexpr const char *cleanedRefusal =
        ": its directory holds malformed records that can be read past but not written back; "
        "the archive is left unchanged";
    // The archive is read only through a cleaned copy of its directory.
    bool readOnlyWhenCleaned() const
    {
        int zipError = 0;
        const std::shared_ptr<ArchiveView> view = openArchive(m_archive.path.c_str(), zipError);
        return view && view->shown() == Shown::CleanedDirectory;
    }
    static DirectoryFacts factsOf(const std::string &path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return {};
        DirectoryFacts facts = readDirectoryFacts(fd);
        ::close(fd);
        return facts;
    }
    static bool hasDataInFront(const DirectoryFacts &facts)
    {
        const bool firstAtStart =
            facts.members.empty() ||
            std::any_of(facts.members.begin(), facts.members.end(),
                        [](const MemberFacts &m) { return m.localOffset == 0; });
        return facts.leadingBytes > 0 || !firstAtStart;
    }

    int checkArchive(bool deleting)
    {
        const std::string &path = m_archive.path;
        if (!m_archive.existed) {
            if (m_statError != ENOENT)
                return m_report.error(path + ": " + reasonFor(m_statError), ZE_NAME);
            if (deleting)
                return m_report.error(path + ": file not found", ZE_NAME);
        } else if (!S_ISREG(m_archive.original.st_mode)) {
            return m_report.error(path + ": not a zip archive", ZE_NAME);
        } else if (::access(path.c_str(), W_OK) != 0) {
            return m_report.error(path + ": archive is read-only", ZE_CREAT);
        } else if (const DirectoryFacts facts = factsOf(path); hasDataInFront(facts)) {
            return m_report.error(path + dataInFrontRefusal, ZE_NAME);
        } else if (facts.shown == Shown::EndRecordAgain) {
            return m_report.error(path + falseLocatorRefusal, ZE_NAME);
        }
        // The new archive is written beside the old one: the folder must take a new file.
        if (::access(m_archive.dir.c_str(), W_OK | X_OK) != 0) {
            const int code = errno;
            if (m_archive.existed)
                return m_report.error("cannot create a temporary file in " + m_archive.dir + ": " +
                                          reasonFor(code),
                                      ZE_TEMP);
            return m_report.error("cannot create " + path + ": " + reasonFor(code), ZE_CREAT);
        }
        return ZE_OK;
    }

    // Opens the archive that is read for the whole run and locks it, so that writers of this
    // engine take turns. A run does not wait for another one (the window would freeze
    // meanwhile): it says so at once and changes nothing.
    int holdArchive()
    {
        const std::string &path = m_archive.path;
        const int fd = openRegularFile(path.c_str());
        if (fd < 0)
            return m_report.error(
                path + ": " +
                    (errno == EINVAL ? std::string("not a zip archive") : reasonFor(errno)),
                ZE_NAME);
        m_archive.heldFd = fd;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            return m_report.error(path + " is being changed by another program; try again when it "
                                         "is done",
                                  ZE_CREAT);
        // Where the file system has no locks, the check before the rename still holds.
        if (::fstat(fd, &m_archive.original) != 0)
            return m_report.error(path + ": " + reasonFor(errno), ZE_NAME);
        return ZE_OK;
    }

    int open()
    {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t *source = archiveSource(m_archive, &error);
        if (!source) {
            zip_error_fini(&error);
            return m_report.error("out of memory", ZE_MEM);
        }
        m_zip = zip_open_from_source(source, ZIP_CREATE, &error);
        if (!m_zip) {
            zip_source_free(source);
            const int zipError = zip_error_code_zip(&error);
            const int systemError = zip_error_code_system(&error);
            zip_error_fini(&error);
            switch (zipError) {
            case ZIP_ER_MEMORY:
                return m_report.error("out of memory", ZE_MEM);
            case ZIP_ER_OPEN:
            case ZIP_ER_READ:
            case ZIP_ER_SEEK:
                return m_report.error(m_archive.path + ": " + reasonFor(systemError), ZE_NAME);
            case ZIP_ER_NOENT: // the file is held open: a record libzip cannot follow
            case ZIP_ER_INCONS:
                if (readOnlyWhenCleaned())
                    return m_report.error(m_archive.path + cleanedRefusal, ZE_NAME);
                return m_report.error(m_archive.path + ": damaged archive (bad central directory)",
                                      ZE_NAME);
            default:
                return m_report.error(m_archive.path + ": not a zip archive", ZE_NAME);
            }
        }
        zip_error_fini(&error);
        return ZE_OK;
    }

    void indexEntries()
    {
        const zip_int64_t count = zip_get_num_entries(m_zip, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char *name = zip_get_name(m_zip, static_cast<zip_uint64_t>(i), 0);
            if (name)
                m_entries.emplace(name, static_cast<zip_uint64_t>(i));
        }
    }

    int planDeletes(const std::vector<const char *> &names)
    {
        std::vector<bool> doomed(static_cast<size_t>(zip_get_num_entries(m_zip, 0)), false);
        for (const char *name : names) {
            const std::string pattern = patternOf(name);
            bool matched = false;
            for (const auto &[entryName, index] : m_entries) {
                // No FNM_PATHNAME: "*" also crosses "/".
                if (::fnmatch(pattern.c_str(), entryName.c_str(), 0) == 0) {
                    doomed[index] = true;
                    touch(index, Touch::Deleted);
                    matched = true;
                }
            }
            if (!matched)
                m_report.warning(name, "no entry matches", ZE_NONE);
        }
        for (size_t i = 0; i < doomed.size(); ++i) {
            if (!doomed[i])
                continue;
            if (zip_delete(m_zip, i) != 0)
                return zipFailure("cannot delete an entry");
            ++m_changes;
        }
        // The patterns were reported; that the archive stays as it was is said too.
        return m_changes ? ZE_OK : m_report.error("nothing to do, no entry deleted", ZE_NONE);
    }

    int planInputs(const std::vector<const char *> &names)
    {
        InputRules rules;
        rules.junkDir = m_options.fJunkDir != 0;
        rules.recurse = m_options.fRecurse == 1;
        rules.system = m_options.fSystem != 0;
        rules.archiveExists = m_archive.existed;
        rules.archiveDev = m_archive.original.st_dev;
        rules.archiveIno = m_archive.original.st_ino;
        rules.archiveDir = m_archive.dir;
        if (int code = collectInputs(names, rules, m_report, m_inputs))
            return code;
        // Files to deflate are deflated on worker threads ahead of the commit; stored ones
        // are only copied, which one thread does as fast.
        if (m_options.fLevel != '0')
            m_pool = std::make_unique<DeflatePool>(m_options.fLevel - '0', m_state, m_files);
        m_plain.state = &m_state;

        m_outcomes.reserve(m_inputs.items.size());
        for (const ZipInput &input : m_inputs.items) {
            Outcome outcome = Outcome::Skipped;
            std::optional<zip_uint64_t> replaces; // the entry a file replaces in place
            if (int code = plan(input, outcome, replaces))
                return code;
            if (outcome == Outcome::Added) {
                if (int code = add(input, replaces))
                    return code;
            }
            m_outcomes.push_back(outcome);
        }
        return ZE_OK;
    }

    int plan(const ZipInput &input, Outcome &outcome, std::optional<zip_uint64_t> &replaces)
    {
        const bool update = m_options.fUpdate != 0;
        const bool freshen = m_options.fFreshen != 0;
        const time_t mtime = storedTime(input.seen);
        // libzip's own name table answers: no map of 100,000 names for one lookup.
        const zip_int64_t existing = zip_name_locate(m_zip, input.storedName, 0);
        if (existing < 0) {
            if (!freshen)
                outcome = Outcome::Added;
            return ZE_OK;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        const auto index = static_cast<zip_uint64_t>(existing);
        const bool newer = zip_stat_index(m_zip, index, 0, &st) != 0 ||
                           !(st.valid & ZIP_STAT_MTIME) || mtime > st.mtime;
        outcome = (update || freshen) && !newer ? Outcome::Kept : Outcome::Added;
        // A file replaces its entry where it stands, so that the members answering one name
        // keep their order (the first of them is the one a lookup finds). A folder entry goes
        // and a new one is added.
        if (outcome == Outcome::Added) {
            touch(index, input.isDir() ? Touch::Deleted : Touch::Replaced);
            if (!input.isDir())
                replaces = index;
            else if (zip_delete(m_zip, index) != 0)
                return zipFailure(std::string("cannot replace ") + input.storedName);
        }
        return ZE_OK;
    }

    int add(const ZipInput &input, std::optional<zip_uint64_t> replaces)
    {
        const time_t mtime = storedTime(input.seen);
        const std::string failure = std::string("cannot add ") + input.storedName;
        zip_int64_t index;
        if (input.isDir()) {
            index = zip_dir_add(m_zip, input.storedName, ZIP_FL_ENC_GUESS);
        } else {
            InputFile &file = m_files.emplace_back();
            file.input = &input;
            file.index = static_cast<zip_uint32_t>(m_files.size() - 1);
            zip_source_t *source =
                m_pool ? m_pool->source(m_zip, file) : inputSource(m_zip, file, m_plain);
            if (!source)
                return m_report.error("out of memory", ZE_MEM);
            if (replaces) {
                index = replaceInPlace(*replaces, source);
            } else {
                index = zip_file_add(m_zip, input.storedName, source, ZIP_FL_ENC_GUESS);
                if (index < 0)
                    zip_source_free(source);
            }
        }
        if (index < 0)
            return zipFailure(failure);
        const auto at = static_cast<zip_uint64_t>(index);
        const zip_uint32_t attributes =
            (static_cast<zip_uint32_t>(input.seen.mode) << 16) | (input.isDir() ? 0x10u : 0u);
        if (zip_file_set_mtime(m_zip, at, mtime, 0) != 0 ||
            zip_file_set_external_attributes(m_zip, at, 0, ZIP_OPSYS_UNIX, attributes) != 0)
            return zipFailure(failure);
        if (!input.isDir()) {
            const int level = m_options.fLevel - '0';
            const int result = level == 0
                                   ? zip_set_file_compression(m_zip, at, ZIP_CM_STORE, 0)
                                   : zip_set_file_compression(m_zip, at, ZIP_CM_DEFLATE,
                                                              static_cast<zip_uint32_t>(level));
            if (result != 0)
                return zipFailure(failure);
        }
        m_newestAdded = std::max(m_newestAdded, mtime);
        ++m_changes;
        return ZE_OK;
    }

    // The entry keeps its place and its stored name; the new data comes without the old
    // entry's encryption and extra time fields (a listing would show their time instead).
    zip_int64_t replaceInPlace(zip_uint64_t index, zip_source_t *source)
    {
        if (zip_file_replace(m_zip, index, source, 0) != 0) {
            zip_source_free(source);
            return -1;
        }
        for (const zip_uint16_t id : {zip_uint16_t{0x5455}, zip_uint16_t{0x7875}}) {
            if (zip_file_extra_field_delete_by_id(m_zip, index, id, ZIP_EXTRA_FIELD_ALL,
                                                  ZIP_FL_CENTRAL | ZIP_FL_LOCAL) != 0)
                return -1;
        }
        if (zip_file_set_encryption(m_zip, index, ZIP_EM_NONE, nullptr) != 0)
            return -1;
        return static_cast<zip_int64_t>(index);
    }

    int zipFailure(const std::string &what)
    {
        const zip_error_t *error = zip_get_error(m_zip);
        if (zip_error_code_zip(error) == ZIP_ER_MEMORY)
            return m_report.error("out of memory", ZE_MEM);
        return m_report.error(what + ": " + zip_error_strerror(const_cast<zip_error_t *>(error)),
                              ZE_PARMS);
    }

    int commit()
    {
        const bool anyInput = std::any_of(m_outcomes.begin(), m_outcomes.end(),
                                          [](Outcome o) { return o != Outcome::Skipped; });
        if (!m_changes && !anyInput) {
            // Nothing changes: a new archive is not created.
            zip_discard(m_zip);
            m_zip = nullptr;
            if (m_options.fDeleteEntries)
                return ZE_NONE; // the patterns were reported
            return m_report.error("nothing to do", ZE_NONE);
        }
        const time_t newest = newestEntryTime();
        if (int code = keepUntouched())
            return code;

        registerCancelCallback(m_zip, pollCommit, &m_state);
        if (m_pool)
            m_pool->start();
        const int closed = zip_close(m_zip);
        if (m_pool)
            m_pool->stop();
        if (closed != 0) {
            const int code = closeFailure();
            zip_discard(m_zip);
            m_zip = nullptr;
            return code;
        }
        m_zip = nullptr;
        if (m_changes) {
            forgetArchive(m_archive.path);
            if (m_given != m_archive.path)
                forgetArchive(m_given);
        }
        if (m_options.fLatestTime && newest > 0) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, {newest, 0}};
            if (::utimensat(AT_FDCWD, m_archive.path.c_str(), times, 0) == 0) {
                forgetArchive(m_archive.path);
                if (m_given != m_archive.path)
                    forgetArchive(m_given);
            }
        }
        if (m_options.fMove)
            removeMoved();
        return m_report.firstProblem();
    }

    void touch(zip_uint64_t index, Touch how)
    {
        if (index < m_touched.size())
            m_touched[static_cast<size_t>(index)] = how;
    }

    // Every member the run leaves alone is taken out of libzip's hands and copied raw by the
    // archive source, so that its records stay byte for byte. Where the directory cannot be
    // accounted for exactly, libzip copies the members as it always did.
    int keepUntouched()
    {
        if (!m_changes || m_archive.heldFd < 0 || m_originalCount == 0 ||
            !readRawDirectory(m_archive.heldFd, static_cast<uint64_t>(m_archive.original.st_size),
                              m_keep.original) ||
            m_keep.original.members.size() != m_originalCount)
            return ZE_OK;
        m_keep.originalFd = m_archive.heldFd;
        const auto total = static_cast<zip_uint64_t>(zip_get_num_entries(m_zip, 0));
        for (zip_uint64_t i = 0; i < total; ++i) {
            const Touch how =
                i < m_originalCount ? m_touched[static_cast<size_t>(i)] : Touch::Added;
            if (how != Touch::Deleted)
                m_keep.slots.push_back({how == Touch::None, i});
        }
        // From here on, a member libzip no longer writes is the splice's to copy.
        m_archive.keep = &m_keep;
        for (const KeepPlan::Slot &slot : m_keep.slots) {
            if (slot.original && zip_delete(m_zip, slot.index) != 0)
                return zipFailure("cannot keep the other members");
        }
        return ZE_OK;
    }

    int closeFailure()
    {
        if (m_state.cancelled)
            return ZE_ABORT;
        if (m_state.code)
            return m_report.error(m_state.reason, m_state.code);
        const zip_error_t *error = zip_get_error(m_zip);
        const std::string text = zip_error_strerror(const_cast<zip_error_t *>(error));
        switch (zip_error_code_zip(error)) {
        case ZIP_ER_CANCELLED:
            return ZE_ABORT;
        case ZIP_ER_MEMORY:
            return m_report.error("out of memory", ZE_MEM);
        case ZIP_ER_TMPOPEN:
        case ZIP_ER_RENAME:
            return m_report.error(m_archive.path + ": " + text, ZE_TEMP);
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
        case ZIP_ER_CRC:
        case ZIP_ER_INCONS:
        case ZIP_ER_COMPNOTSUPP:
            return m_report.error(m_archive.path + ": " + text, ZE_READ);
        default:
            return m_report.error(m_archive.path + ": " + text, ZE_WRITE);
        }
    }

    // Added and replaced entries have the times of their files; the others are asked.
    time_t newestEntryTime()
    {
        if (!m_options.fLatestTime)
            return 0;
        time_t newest = m_newestAdded;
        for (zip_uint64_t i = 0; i < m_originalCount; ++i) {
            if (m_touched[static_cast<size_t>(i)] != Touch::None)
                continue;
            zip_stat_t st;
            zip_stat_init(&st);
            if (zip_stat_index(m_zip, i, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
                newest = std::max(newest, st.mtime);
        }
        return newest;
    }

    // Inputs that now have an entry are deleted, unless they changed since they were read;
    // folders that got an entry go once they are empty.
    void removeMoved()
    {
        std::vector<std::string> folders;
        size_t nextFile = 0; // the added files come in the order of the inputs
        for (size_t i = 0; i < m_outcomes.size(); ++i) {
            if (m_outcomes[i] == Outcome::Skipped)
                continue;
            const ZipInput &input = m_inputs.items[i];
            if (input.isDir()) {
                folders.emplace_back(input.path);
                continue;
            }
            const InputFile *file = nullptr;
            if (nextFile < m_files.size() && m_files[nextFile].input == &input)
                file = &m_files[nextFile++];
            struct stat now;
            if (::stat(input.path, &now) != 0)
                continue;
            const auto other = m_state.readOtherwise.find(&input);
            const FileStamp &read =
                other != m_state.readOtherwise.end() ? other->second : input.seen;
            if ((file && !file->complete) || !FileStamp(now).sameAs(read)) {
                m_report.warning(input.path, "changed after it was stored, not deleted", ZE_OPEN);
                continue;
            }
            if (::unlink(input.path) != 0)
                m_report.warning(input.path, "cannot delete: " + reasonFor(errno), ZE_OPEN);
        }
        // Deepest first, so that a folder is empty when its turn comes.
        std::sort(folders.begin(), folders.end(),
                  [](const std::string &a, const std::string &b) { return a.size() > b.size(); });
        for (const std::string &folder : folders)
            ::rmdir(folder.c_str());
    }

    const ZPOPT m_options;
    ZipReport m_report;
    CommitState m_state;
    ArchiveFile m_archive;
    std::string m_given;
    int m_statError = 0;
    zip_t *m_zip = nullptr;
    std::unordered_map<std::string, zip_uint64_t> m_entries;
    InputList m_inputs;
    std::vector<Outcome> m_outcomes;     // per input
    std::deque<InputFile> m_files;       // per added file, in the order of the inputs
    PlainReader m_plain;                 // reads the files that are stored as they are
    std::unique_ptr<DeflatePool> m_pool; // deflates the others
    time_t m_newestAdded = 0;
    int m_changes = 0;
    zip_uint64_t m_originalCount = 0;
    std::vector<Touch> m_touched; // per original member
    KeepPlan m_keep;
};

} // namespace

} // namespace zengine

ZENGINE_EXPORT int ZpArchive(ZCL command)
{
    // No exception crosses the boundary.
    try {
        zengine::ArchiveRun run(zengine::heldOptions());
        return run.run(command);
    } catch (const std::bad_alloc &) {
        zengine::ZipReport report;
        return report.error("out of memory", ZE_MEM);
    } catch (...) {
        zengine::ZipReport report;
        return report.error("internal failure", ZE_PARMS);
    }
}
