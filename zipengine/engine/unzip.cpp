// SPDX-License-Identifier: GPL-3.0-or-later
// Wiz_SingleEntryUnzip: listing, delivery and extraction over libzip.

#include "zipengine/engine/archive_cache.h"
#include "zipengine/engine/internal.h"
#include "zipengine/engine/legacy_methods.h"
#include "zipengine/engine/temp_files.h"
#include "zipengine/engine/unzip_names.h"
#include "zipengine/engine/unzip_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace zengine {

namespace {

constexpr size_t PieceSize = 64 * 1024;

// While many names are being selected, the service callback is asked every this many names
// (with an empty name and size 0) whether the user cancelled.
constexpr int SelectionPing = 1024;

} // namespace

UnzipSession::UnzipSession(const DCL &dcl, const USERFUNCTIONS *functions)
    : m_dcl(dcl), m_functions(functions)
{}

void UnzipSession::raise(int code)
{
    if (code > m_result)
        m_result = code;
}

void UnzipSession::warning(std::string_view subject, std::string_view reason)
{
    line("warning", subject, reason);
    raise(PK_WARN);
}

void UnzipSession::error(std::string_view subject, std::string_view reason, int code)
{
    line("error", subject, reason);
    raise(code);
}

int UnzipSession::print(const char *data, size_t length)
{
    if (!m_functions || !m_functions->print)
        return static_cast<int>(length);
    return m_functions->print(const_cast<char *>(data), static_cast<unsigned long>(length));
}

bool UnzipSession::progress(zip_uint64_t memberDone)
{
    if (!m_functions || !m_functions->ServCallBk)
        return true;
    return m_functions->ServCallBk(nullptr, m_done + memberDone) == 0;
}

void UnzipSession::sweepOnce(int dirFd)
{
    struct stat st;
    if (fstat(dirFd, &st) == 0 && m_swept.emplace(st.st_dev, st.st_ino).second)
        sweepStaleTempFiles(dirFd);
}

void UnzipSession::line(std::string_view kind, std::string_view subject, std::string_view reason)
{
    std::string text;
    text.reserve(kind.size() + subject.size() + reason.size() + 8);
    text.append(kind).append(": ").append(subject).append(": ").append(reason).append("\n");
    print(text.data(), text.size());
}

ReadFailure memberFailure(int zipError)
{
    switch (zipError) {
    case ZIP_ER_CRC:
        return {PK_ERR, "CRC error"};
    case ZIP_ER_COMPNOTSUPP:
        return {PK_ERR, "unsupported compression method"};
    case ZIP_ER_ENCRNOTSUPP:
        return {PK_ERR, "unsupported encryption method"};
    case ZIP_ER_NOPASSWD:
        return {PK_PASSWORD, "encrypted, no password"};
    case ZIP_ER_WRONGPASSWD:
        return {PK_PASSWORD, "encrypted, wrong password"};
    case ZIP_ER_MEMORY:
        return {PK_MEM, "out of memory"};
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        return {PK_ERR, "read error"};
    default:
        return {PK_ERR, "damaged member data"};
    }
}

namespace {

// A member in a method libzip cannot decode: libzip hands over the stored bytes (decrypted
// when a password opens them), the engine's own decoder does the rest.
ReadOutcome readDecodedHere(zip_t *archive, zip_uint64_t index, const zip_stat_t &stat,
                            const char *password,
                            const std::function<bool(const char *, size_t)> &sink,
                            ReadFailure &failure, const MemberFacts *facts)
{
    zip_file_t *file = password
                           ? zip_fopen_index_encrypted(archive, index, ZIP_FL_COMPRESSED, password)
                           : zip_fopen_index(archive, index, ZIP_FL_COMPRESSED);
    if (!file) {
        failure = memberFailure(zip_error_code_zip(zip_get_error(archive)));
        return ReadOutcome::Failed;
    }
    MemberCoding coding;
    coding.method = stat.comp_method;
    coding.flags = facts ? facts->flags : 0;
    coding.size = stat.size;
    coding.crc = stat.crc;
    coding.compressedSize = stat.comp_size;
    const CompressedSource source = [file](unsigned char *data, size_t size) -> long {
        const zip_int64_t n = zip_fread(file, data, size);
        return n < 0 ? -1 : static_cast<long>(n);
    };
    std::string reason;
    const DecodeOutcome outcome = decodeMember(coding, source, sink, reason);
    zip_fclose(file);
    switch (outcome) {
    case DecodeOutcome::Done:
        return ReadOutcome::Done;
    case DecodeOutcome::Stopped:
        return ReadOutcome::Stopped;
    case DecodeOutcome::ReadError:
        failure = {PK_ERR, "read error"};
        return ReadOutcome::Failed;
    default:
        failure = {reason == "out of memory" ? PK_MEM : PK_ERR, reason};
        return ReadOutcome::Failed;
    }
}

} // namespace

ReadOutcome readMember(zip_t *archive, zip_uint64_t index, zip_uint64_t declaredSize,
                       const char *password, const std::function<bool(const char *, size_t)> &sink,
                       ReadFailure &failure, const MemberFacts *facts)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_COMP_METHOD) &&
        decodedHere(stat.comp_method) && stat.size == declaredSize)
        return readDecodedHere(archive, index, stat, password, sink, failure, facts);
    zip_file_t *file = password ? zip_fopen_index_encrypted(archive, index, 0, password)
                                : zip_fopen_index(archive, index, 0);
    if (!file) {
        failure = memberFailure(zip_error_code_zip(zip_get_error(archive)));
        return ReadOutcome::Failed;
    }
    std::vector<char> buffer(PieceSize);
    zip_uint64_t total = 0;
    ReadOutcome outcome = ReadOutcome::Done;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0) {
            failure = memberFailure(zip_error_code_zip(zip_file_get_error(file)));
            outcome = ReadOutcome::Failed;
            break;
        }
        if (n == 0)
            break;
        total += static_cast<zip_uint64_t>(n);
        if (total > declaredSize) {
            // More bytes than the header declares: a lying header or a bomb. Never deliver
            // what no CRC can vouch for.
            failure = {PK_ERR, "damaged member data (longer than its header says)"};
            outcome = ReadOutcome::Failed;
            break;
        }
        if (!sink(buffer.data(), static_cast<size_t>(n))) {
            outcome = ReadOutcome::Stopped;
            break;
        }
    }
    if (outcome == ReadOutcome::Done && total != declaredSize) {
        // libzip 1.7.3 does not always check the size at the end of a deflated member.
        failure = {PK_ERR, "damaged member data (shorter than its header says)"};
        outcome = ReadOutcome::Failed;
    }
    zip_fclose(file);
    return outcome;
}

} // namespace zengine

using namespace zengine;

namespace {

const char *methodName(zip_uint16_t method, char *buffer, size_t size)
{
    switch (method) {
    case 0:
        return "Stored";
    case 1:
        return "Shrunk";
    case 2:
        return "Reduce1";
    case 3:
        return "Reduce2";
    case 4:
        return "Reduce3";
    case 5:
        return "Reduce4";
    case 6:
        return "Implode";
    case 7:
        return "Token";
    case 8:
        // libzip does not expose the deflate speed bits of the header: always "normal".
        return "Defl:N";
    case 9:
        return "Def64#";
    case 10:
        return "ImplDCL";
    case 12:
        return "BZip2";
    case 14:
        return "LZMA";
    case 19:
        return "LZ77";
    case 95:
        return "XZ";
    case 97:
        return "WavPack";
    case 98:
        return "PPMd";
    default:
        std::snprintf(buffer, size, "Unk:%03u", static_cast<unsigned>(method));
        return buffer;
    }
}

unsigned ratioPercent(zip_uint64_t size, zip_uint64_t compressed)
{
    if (size == 0 || compressed >= size)
        return 0;
    const double saved = static_cast<double>(size - compressed) * 100.0 / static_cast<double>(size);
    return static_cast<unsigned>(saved + 0.5);
}

} // namespace

void zengine::reportListed(UnzipSession &session, const ListedMember &m)
{
    const USERFUNCTIONS *uf = session.functions();
    if (!uf || !uf->SendApplicationMessage)
        return;
    char unknown[16];
    uf->SendApplicationMessage(m.size, m.compressedSize, ratioPercent(m.size, m.compressedSize),
                               m.month, m.day, m.year, m.hour, m.minute, ' ', m.name,
                               methodName(m.method, unknown, sizeof unknown),
                               static_cast<unsigned long>(m.crc), m.encrypted ? 'E' : ' ');
}

namespace {

bool isEncrypted(const zip_stat_t &st)
{
    return (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
}

void listMember(UnzipSession &session, ArchiveView &view, zip_uint64_t index)
{
    const USERFUNCTIONS *uf = session.functions();
    if (!uf || !uf->SendApplicationMessage)
        return;
    zip_t *archive = view.handle();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, index, ZIP_FL_ENC_GUESS, &st) != 0)
        return;
    // The stored fields as they are; libzip's local time only when the directory could not
    // be read plainly.
    ListedMember m;
    if (const DosTime *stored = view.dosTime(index)) {
        m.month = stored->month();
        m.day = stored->day();
        m.year = stored->year() % 100;
        m.hour = stored->hour();
        m.minute = stored->minute();
    } else {
        struct tm when = {};
        const time_t mtime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;
        localtime_r(&mtime, &when);
        m.month = static_cast<unsigned>(when.tm_mon + 1);
        m.day = static_cast<unsigned>(when.tm_mday);
        m.year = static_cast<unsigned>(when.tm_year % 100);
        m.hour = static_cast<unsigned>(when.tm_hour);
        m.minute = static_cast<unsigned>(when.tm_min);
    }
    m.size = st.size;
    m.compressedSize = st.comp_size;
    m.name = st.name ? st.name : "";
    m.method = st.comp_method;
    m.crc = st.crc;
    m.encrypted = isEncrypted(st);
    reportListed(session, m);
}

// Asks the password callback for an encrypted member; empty when it supplies none.
std::string askPassword(const USERFUNCTIONS *uf, std::string_view name)
{
    if (!uf || !uf->password)
        return std::string();
    char buffer[256] = {};
    const std::string member(name);
    uf->password(buffer, static_cast<int>(sizeof buffer - 1),
                 "Enter password for: ", member.c_str());
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

// Returns false when the call must stop (print asked for it).
bool deliverMember(UnzipSession &session, zip_t *archive, zip_uint64_t index, const zip_stat_t &st,
                   std::string_view name, const char *password, const MemberFacts *facts)
{
    ReadFailure failure;
    const ReadOutcome outcome = readMember(
        archive, index, st.size, password,
        [&](const char *data, size_t length) { return session.print(data, length) >= 0; }, failure,
        facts);
    if (outcome == ReadOutcome::Stopped) {
        session.raise(IZ_CTRLC);
        return false;
    }
    if (outcome == ReadOutcome::Failed)
        session.error(name, failure.reason, failure.code);
    return true;
}

std::string openFailureReason(int zipError, int savedErrno, int &code)
{
    code = PK_NOZIP;
    if (zipError == 0) {
        switch (savedErrno) {
        case ENOENT:
        case ENOTDIR:
            return "no such file";
        case EACCES:
        case EPERM:
            return "permission denied";
        default:
            return std::string("cannot be opened (") + std::strerror(savedErrno) + ")";
        }
    }
    switch (zipError) {
    case ZIP_ER_NOZIP:
        return "not a zip archive";
    case ZIP_ER_NOENT:
        return "no such file";
    case ZIP_ER_OPEN:
        return "cannot be opened";
    case ZIP_ER_MEMORY:
        code = PK_MEM;
        return "out of memory";
    case ZIP_ER_MULTIDISK:
        code = PK_BADERR;
        return "split archives are not supported";
    default:
        code = PK_BADERR;
        return "damaged archive (bad central directory)";
    }
}

// Creates the target folder and the folders above it as needed; returns an open descriptor
// or -1 with errno set.
int openTargetFolder(const char *path)
{
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    std::string partial;
    const std::string whole(path);
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = whole.find('/', pos + 1);
        partial = whole.substr(0, pos);
        if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return -1;
    }
    return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool cancelledWhileSelecting(const USERFUNCTIONS *uf)
{
    return uf && uf->ServCallBk && uf->ServCallBk("", 0) != 0;
}

} // namespace

int zengine::unzipWith(ReadPath path, int ifnc, char **ifnv, int xfnc, char **xfnv, const DCL &dcl,
                       const USERFUNCTIONS *uf)
{
    UnzipSession session(dcl, uf);
    if (!dcl.lpszZipFN || ifnc < 0 || xfnc < 0 || (ifnc > 0 && !ifnv) || (xfnc > 0 && !xfnv)) {
        session.error(dcl.lpszZipFN ? dcl.lpszZipFN : "(no archive)", "bad parameters", PK_PARAM);
        return session.result();
    }
    const std::string archivePath = dcl.lpszZipFN;
    const bool listing = dcl.nvflag != 0;
    const bool delivering = !listing && dcl.ncflag != 0;
    const bool comment = dcl.nzflag != 0;
    const bool extracting = !listing && !delivering && !comment;
    if (extracting && (!dcl.lpszExtractDir || !*dcl.lpszExtractDir)) {
        session.error(archivePath, "no target folder given", PK_PARAM);
        return session.result();
    }
    if (path == ReadPath::Fast && comment && fastComment(session, archivePath.c_str()))
        return session.result();
    if (path == ReadPath::Fast && !comment) {
        if (listing && ifnc == 0 && xfnc == 0 && fastList(session, archivePath.c_str()))
            return session.result();
        if (delivering && ifnc == 1 && xfnc == 0 && ifnv[0] &&
            fastDeliver(session, archivePath.c_str(), ifnv[0]))
            return session.result();
    }

    int zipError = 0;
    errno = 0;
    const std::shared_ptr<ArchiveView> view = openArchive(archivePath.c_str(), zipError);
    if (!view) {
        int code = PK_NOZIP;
        const std::string reason = openFailureReason(zipError, errno, code);
        session.error(archivePath, reason, code);
        return session.result();
    }
    zip_t *archive = view->handle();
    if (comment) {
        // The archive comment alone, its bytes as stored, as the classic tool's -z shows it.
        int length = 0;
        const char *text = zip_get_archive_comment(archive, &length, ZIP_FL_ENC_RAW);
        if (text && length > 0)
            session.print(text, static_cast<size_t>(length));
        return session.result();
    }

    // Selection, in archive order. Names that select alike (equal, or equal after folding
    // when case is ignored) are looked up once, so naming every member of an archive whose
    // members all answer one name stays linear. Delivery hands over one member per name.
    const bool ignoreCase = dcl.C_flag != 0;
    std::vector<char> chosen(static_cast<size_t>(view->count()), ifnc == 0 ? 1 : 0);
    std::vector<std::string> unmatched;
    const auto storedName = [&view](zip_uint64_t member) { return view->name(member); };
    const auto selectionKey = [&](const char *name) {
        return ignoreCase && !delivering ? foldName(name) : std::string(name);
    };
    std::unordered_set<std::string> seen;
    for (int i = 0; i < ifnc; ++i) {
        if (i % SelectionPing == SelectionPing - 1 && cancelledWhileSelecting(uf)) {
            session.raise(IZ_CTRLC);
            return session.result();
        }
        if (!ifnv[i] || !seen.insert(selectionKey(ifnv[i])).second)
            continue;
        const std::vector<zip_uint64_t> hits = view->find(ifnv[i], ignoreCase);
        if (hits.empty())
            unmatched.emplace_back(ifnv[i]);
        if (delivering) {
            if (const auto member = answeringMember(ifnv[i], hits, storedName))
                chosen[static_cast<size_t>(*member)] = 1;
            continue;
        }
        for (const zip_uint64_t hit : hits)
            chosen[static_cast<size_t>(hit)] = 1;
    }
    seen.clear();
    for (int i = 0; i < xfnc; ++i)
        if (xfnv[i] && seen.insert(selectionKey(xfnv[i])).second)
            for (const zip_uint64_t hit : view->find(xfnv[i], ignoreCase))
                chosen[static_cast<size_t>(hit)] = 0;
    const bool any = std::find(chosen.begin(), chosen.end(), 1) != chosen.end();
    if (!any) {
        if (ifnc > 0 || xfnc > 0)
            session.error(archivePath, "no member matched", PK_FIND);
        return session.result();
    }
    for (const std::string &name : unmatched)
        session.warning(name, "no such member");

    if (!listing && view->overlapping()) {
        // Several records pointing into one member's data: the construction of archives that
        // unpack to many times their size. Nothing of them is delivered or written.
        session.error(archivePath, "invalid archive: members overlap (possible zip bomb)",
                      PK_BADERR);
        return session.result();
    }
    int targetFd = -1;
    if (extracting) {
        targetFd = openTargetFolder(dcl.lpszExtractDir);
        if (targetFd < 0) {
            session.error(dcl.lpszExtractDir,
                          errno == EACCES ? "permission denied" : "cannot open the target folder",
                          PK_PARAM);
            return session.result();
        }
    }

    for (zip_uint64_t index = 0; index < view->count(); ++index) {
        if (!chosen[static_cast<size_t>(index)])
            continue;
        if (listing) {
            listMember(session, *view, index);
            continue;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, index, ZIP_FL_ENC_GUESS, &st) != 0 || !st.name) {
            session.error(archivePath, "damaged archive (unreadable member header)", PK_BADERR);
            continue;
        }
        const std::string_view name = st.name;
        if (uf && uf->ServCallBk && uf->ServCallBk(st.name, st.size) != 0) {
            session.raise(IZ_CTRLC);
            break;
        }
        std::string password;
        if (isEncrypted(st)) {
            password = askPassword(uf, name);
            if (password.empty()) {
                session.warning(name, "encrypted, no password");
                session.raise(PK_PASSWORD);
                session.memberFinished(st.size);
                continue;
            }
        }
        const char *pw = password.empty() ? nullptr : password.c_str();
        const MemberFacts *facts = view->facts(index);
        const bool goOn =
            delivering ? deliverMember(session, archive, index, st, name, pw, facts)
                       : extractMember(session, archive, index, st, name, targetFd, pw, facts);
        session.memberFinished(st.size);
        if (!goOn)
            break;
    }
    if (targetFd >= 0)
        close(targetFd);
    return session.result();
}

ZENGINE_EXPORT int Wiz_SingleEntryUnzip(int ifnc, char **ifnv, int xfnc, char **xfnv, LPDCL dcl,
                                        LPUSERFUNCTIONS functions)
{
    if (!dcl)
        return PK_PARAM;
    try {
        return unzipWith(ReadPath::Fast, ifnc, ifnv, xfnc, xfnv, *dcl, functions);
    } catch (const std::bad_alloc &) {
        return PK_MEM;
    } catch (...) {
        return PK_BADERR;
    }
}
