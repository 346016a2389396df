// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/archiveops.h"

#include "common/pathbytes.h"
#include "formats/formats.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <deque>

namespace ArchiveOps {

namespace {

// The engine's progress calls, counted and handed on; remembers a refusal. A call without a
// name asks only whether to go on (the engine is still choosing members) and is not counted.
struct ProgressRelay
{
    ProgressRelay(const Progress &p, const MemberProgress &m, int expected)
        : progress(p), memberProgress(m), total(expected)
    {}

    const Progress &progress;
    const MemberProgress &memberProgress;
    int total;
    int index = 0;
    bool refused = false;
    // Members or files announced and not yet written whole, oldest first: the engine's byte
    // count runs over them in that order (a pack announces a few files ahead of the one it
    // writes).
    std::deque<std::pair<QString, uint64_t>> pending;
    uint64_t before = 0; // bytes of the ones dropped from `pending`

    bool announced(const QString &name, uint64_t size)
    {
        if (memberProgress && !name.isEmpty())
            pending.emplace_back(name, size);
        if (progress && !progress(name, name.isEmpty() ? index : index++, total))
            refused = true;
        return !refused;
    }

    bool bytes(uint64_t done)
    {
        while (pending.size() > 1 && done >= before + pending.front().second) {
            before += pending.front().second;
            pending.pop_front();
        }
        if (memberProgress && !pending.empty()) {
            const auto &[name, size] = pending.front();
            const uint64_t inside = done > before ? std::min(done - before, size) : 0;
            if (!memberProgress(name, inside, size))
                refused = true;
        } else if (index == 0 && progress && !progress(QString(), index, total)) {
            // Nothing announced yet (the engine copies the members an update keeps): the
            // caller still gets its turn, and may cancel.
            refused = true;
        }
        return !refused;
    }

    void attach(EngineSink &sink)
    {
        sink.onService = [this](const QString &name, uint64_t size) {
            return announced(name, size);
        };
        sink.onProgress = [this](uint64_t done) { return bytes(done); };
    }
};

ListingEntry listingEntry(const formats::Member &m)
{
    ListingEntry entry;
    entry.size = m.size;
    entry.compressedSize = m.compressedSize;
    entry.ratio = m.size > 0 && m.compressedSize <= m.size
                      ? unsigned(100 - (m.compressedSize * 100) / m.size)
                      : 0;
    // Shown in local time, as the DOS times of ZIP members are.
    const QDateTime time = QDateTime::fromSecsSinceEpoch(m.mtime);
    entry.month = unsigned(time.date().month());
    entry.day = unsigned(time.date().day());
    entry.year = unsigned(time.date().year() % 100);
    entry.hour = unsigned(time.time().hour());
    entry.minute = unsigned(time.time().minute());
    entry.name = m.name;
    return entry;
}

// The members of an archive of another format, as the engine would list them; a failure
// becomes the engine's "damaged archive" code with the reason in the engine's wording.
int listOther(const QString &path, formats::Format format,
              const std::function<void(const ListingEntry &)> &onMember, QStringList &messages,
              formats::Listing *listed = nullptr)
{
    formats::Listing own;
    formats::Listing &listing = listed ? *listed : own;
    listing = formats::list(path, format);
    for (const formats::Member &m : listing.members)
        onMember(listingEntry(m));
    if (listing.ok())
        return PK_OK;
    messages.append(QStringLiteral("error: %1: %2").arg(path, listing.error));
    return PK_BADERR;
}

ExtractReport extractOther(const ExtractRequest &request, formats::Format format,
                           const Progress &progress, const MemberProgress &memberProgress)
{
    formats::ExtractRequest other;
    other.archive = request.archive;
    other.format = format;
    other.targetDir = request.targetDir;
    other.names = request.names;
    if (request.all)
        for (const formats::Member &m : formats::list(request.archive, format).members)
            other.names.append(m.name);
    other.caseInsensitive = request.cFlag;
    other.withPaths = request.dFlag;
    other.overwrite = request.oFlag;
    other.onlyNewer = request.extractOnlyNewer;
    other.update = request.uFlag;
    const formats::ExtractReport done = formats::extract(other, progress, memberProgress);
    ExtractReport report;
    report.engineCalled = true;
    report.cancelled = done.cancelled;
    report.problems = done.problems;
    if (done.cancelled)
        report.code = IZ_CTRLC;
    else if (done.failed)
        report.code = PK_ERR;
    else if (done.unmatched.size() == other.names.size())
        report.code = PK_FIND;
    else
        report.code = done.problems.isEmpty() ? PK_OK : PK_WARN;
    return report;
}

} // namespace

namespace {

int listZip(const QString &path, EngineSink &sink, QStringList &messages)
{
    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    DCL dcl = blankDcl();
    dcl.nvflag = 1;
    dcl.nUflag = 1;
    dcl.C_flag = 1;
    EngineText archive(path);
    dcl.lpszZipFN = archive.get();
    dcl.lpszExtractDir = nullptr;
    int code;
    {
        EngineSinkScope scope(sink);
        FlagScope listingFlag(ListingActive, true);
        FlagScope capture(CaptureOutput, false);
        code = ZipEngine::Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &dcl, &functions);
    }
    messages = sink.messages;
    return code;
}

} // namespace

int listMembers(const QString &path, const std::function<void(const ListingEntry &)> &onMember,
                QStringList &messages)
{
    if (const formats::Format format = formats::detect(path); format != formats::Format::Zip)
        return listOther(path, format, onMember, messages);
    EngineSink sink;
    sink.onListing = onMember;
    return listZip(path, sink, messages);
}

int countMembers(const QString &path, formats::Format format, qint64 &count, QStringList &messages,
                 formats::Listing *listed)
{
    count = 0;
    if (format != formats::Format::Zip)
        return listOther(
            path, format, [&count](const ListingEntry &) { ++count; }, messages, listed);
    EngineSink sink;
    sink.counted = &count;
    return listZip(path, sink, messages);
}

Listing getContents(const QString &path)
{
    Listing listing;
    if (path.trimmed().isEmpty())
        return listing;
    listing.engineCalled = true;
    listing.code = listMembers(
        path,
        [&listing](const ListingEntry &entry) {
            listing.lines.append(listingLine(entry));
            listing.names.append(entry.name);
        },
        listing.messages);
    return listing;
}

QString displayName(const QString &engineName, dostext::CodePage page)
{
    return dostext::reinterpretCp437(engineName, page);
}

namespace {

// Where the engine writes a member below the target folder.
QString extractedPath(QString name, bool withPaths)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    parts.removeAll(QStringLiteral(".."));
    if (!withPaths && !parts.isEmpty())
        parts = QStringList{parts.constLast()};
    return parts.join(QLatin1Char('/'));
}

// Renames what the engine wrote under the names as read in the chosen code page; a file that
// already has the new name is never replaced.
void renameExtracted(const ExtractRequest &request, ExtractReport &report)
{
    const QDir target(request.targetDir);
    for (const QString &name : request.names) {
        const QString wanted = displayName(name, request.namesPage);
        if (wanted == name)
            continue;
        const QString from = target.filePath(extractedPath(name, request.dFlag));
        const QString to = target.filePath(extractedPath(wanted, request.dFlag));
        if (!QFileInfo(from).isFile())
            continue;
        QDir().mkpath(QFileInfo(to).path());
        if (QFileInfo::exists(to) || !QFile::rename(from, to))
            report.problems << QStringLiteral("warning: %1: kept as %2, %3 exists or cannot be "
                                              "made")
                                   .arg(wanted, QFileInfo(from).fileName(),
                                        QFileInfo(to).fileName());
        else if (request.dFlag)
            target.rmpath(QFileInfo(extractedPath(name, true)).path());
    }
}

} // namespace

ExtractReport unzipSelectedFiles(const ExtractRequest &request, const Progress &progress,
                                 const MemberProgress &memberProgress)
{
    ExtractReport report;
    if (request.archive.trimmed().isEmpty() || (request.names.isEmpty() && !request.all))
        return report;
    if (const formats::Format format = formats::detect(request.archive);
        format != formats::Format::Zip)
        return extractOther(request, format, progress, memberProgress);

    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    DCL dcl = blankDcl();
    dcl.ExtractOnlyNewer = request.extractOnlyNewer ? 1 : 0;
    dcl.nUflag = request.uFlag ? 1 : 0;
    dcl.ndflag = request.dFlag ? 1 : 0;
    dcl.noflag = request.oFlag ? 1 : 0;
    dcl.C_flag = request.cFlag ? 1 : 0;
    EngineText archive(request.archive);
    EngineText target(request.targetDir);
    dcl.lpszZipFN = archive.get();
    dcl.lpszExtractDir = target.get();
    // No include list at all extracts every member, without matching a million names.
    EngineTextArray include(request.all ? QStringList() : request.names);

    ProgressRelay relay(progress, memberProgress,
                        request.all ? -1 : static_cast<int>(request.names.size()));
    EngineSink sink;
    relay.attach(sink);
    {
        EngineSinkScope scope(sink);
        FlagScope listingFlag(ListingActive, false);
        FlagScope capture(CaptureOutput, false);
        report.engineCalled = true;
        report.code = ZipEngine::Wiz_SingleEntryUnzip(include.count(), include.get(), 0, nullptr,
                                                      &dcl, &functions);
    }
    report.cancelled = relay.refused || report.code == IZ_CTRLC;
    report.problems = sink.messages;
    if (report.problems.isEmpty() && report.code != PK_OK && !report.cancelled)
        report.problems.append(QStringLiteral("error: %1").arg(unzipCodeText(report.code)));
    if (request.namesPage != dostext::CodePage::Cp437)
        renameExtracted(request, report);
    return report;
}

ZipReport zipFiles(const QString &archivePath, const QStringList &files, const Progress &progress,
                   const MemberProgress &memberProgress)
{
    ZipReport report;
    if (archivePath.trimmed().isEmpty() || files.isEmpty())
        return report;

    ZIPUSERFUNCTIONS functions;
    FillZipUserFunctions(functions);
    ZipEngine::ZpInit(&functions);

    // Folders are walked by the engine, so the number of files is known only without them.
    int total = static_cast<int>(files.size());
    for (const QString &file : files) {
        if (file.isEmpty() || pathbytes::isDir(file)) {
            total = -1;
            break;
        }
    }
    ProgressRelay relay(progress, memberProgress, total);
    EngineSink sink;
    relay.attach(sink);

    EngineText archive(archivePath);
    EngineTextArray names(files);
    ZCL command;
    command.Argc = names.count();
    command.lpszZipFN = archive.get();
    command.FNV = names.get();
    {
        EngineSinkScope scope(sink);
        FlagScope listingFlag(ListingActive, false);
        FlagScope capture(CaptureOutput, false);
        report.engineCalled = true;
        report.code = ZipEngine::ZpArchive(command);
    }
    report.cancelled = relay.refused || report.code == ZE_ABORT;
    report.lines = sink.messages;
    if (report.lines.isEmpty() && report.code != ZE_OK && !report.cancelled)
        report.lines.append(QStringLiteral("zip error: %1").arg(zipCodeText(report.code)));
    return report;
}

bool ZipReport::stopped() const
{
    if (!engineCalled || code == ZE_OK)
        return false;
    if (cancelled || lines.isEmpty())
        return true;
    return std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return !line.startsWith(QLatin1String("zip warning:"));
    });
}

QString zipCodeText(int code)
{
    switch (code) {
    case ZE_OK:
        return QStringLiteral("done");
    case ZE_MEM:
        return QStringLiteral("out of memory");
    case ZE_ABORT:
        return QStringLiteral("cancelled");
    case ZE_TEMP:
        return QStringLiteral("could not write the temporary file");
    case ZE_READ:
        return QStringLiteral("read error on an input file");
    case ZE_NONE:
        return QStringLiteral("nothing to do");
    case ZE_NAME:
        return QStringLiteral("missing or empty archive");
    case ZE_WRITE:
        return QStringLiteral("write error (disk full?)");
    case ZE_CREAT:
        return QStringLiteral("cannot create the archive");
    case ZE_PARMS:
        return QStringLiteral("invalid parameters");
    case ZE_OPEN:
        return QStringLiteral("cannot open a file");
    default:
        return QStringLiteral("engine error %1").arg(code);
    }
}

QString unzipCodeText(int code)
{
    switch (code) {
    case PK_OK:
        return QStringLiteral("done");
    case PK_WARN:
        return QStringLiteral("some members were skipped");
    case PK_ERR:
        return QStringLiteral("a member is damaged or uses an unsupported method");
    case PK_BADERR:
        return QStringLiteral("the archive is damaged");
    case PK_MEM:
        return QStringLiteral("out of memory");
    case PK_NOZIP:
        return QStringLiteral("not a zip archive, or it cannot be opened");
    case PK_PARAM:
        return QStringLiteral("invalid parameters");
    case PK_FIND:
        return QStringLiteral("no member matched");
    case PK_DISK:
        return QStringLiteral("disk full");
    case IZ_CTRLC:
        return QStringLiteral("cancelled");
    case PK_PASSWORD:
        return QStringLiteral("password missing or wrong");
    default:
        return QStringLiteral("engine error %1").arg(code);
    }
}

ZPOPT defaultZipOptions()
{
    ZPOPT options;
    std::memset(&options, 0, sizeof options);
    options.fGrow = -1;
    options.fRecurse = 1;
    options.fLevel = '6';
    return options;
}

ZPOPT optionsFromDialogState(const ZipOptionsState &state)
{
    ZPOPT options;
    std::memset(&options, 0, sizeof options);
    const auto flag = [](bool on) -> ZFLAG { return on ? -1 : 0; };
    options.fSystem = flag(state.system);
    options.fVolume = flag(state.volume);
    options.fJunkDir = flag(state.junkDir);
    options.fLatestTime = flag(state.latestTime);
    options.fGrow = flag(state.grow);
    options.fMove = flag(state.move);
    options.fDeleteEntries = flag(state.deleteEntries);
    options.fUpdate = flag(state.update);
    options.fFreshen = flag(state.freshen);
    options.fRecurse = state.recurseDir ? 1 : 0;
    options.fRepair = 0;
    // Whatever the user typed first is passed on; the engine refuses what is no digit.
    options.fLevel = levelCharacter(state.level);
    return options;
}

ZipOptionsState dialogStateFromOptions(const ZPOPT &options)
{
    ZipOptionsState state;
    state.system = options.fSystem != 0;
    state.volume = options.fVolume != 0;
    state.junkDir = options.fJunkDir != 0;
    state.recurseDir = options.fRecurse == 1;
    state.latestTime = options.fLatestTime != 0;
    state.grow = options.fGrow != 0;
    state.move = options.fMove != 0;
    state.deleteEntries = options.fDeleteEntries != 0;
    state.update = options.fUpdate != 0;
    state.freshen = options.fFreshen != 0;
    state.level = options.fLevel ? QString(QLatin1Char(options.fLevel)) : QString();
    return state;
}

bool setZipOptions(const ZPOPT &options)
{
    ZPOPT copy = options;
    return ZipEngine::ZpSetOptions(&copy) != 0;
}

} // namespace ArchiveOps
