#include "catalog/reader.h"

#include "archive/archiveops.h"
#include "description/cp437.h"
#include "description/lookup.h"
#include "id3/id3tag.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QFile>

namespace catalog {

namespace {

// The caption that stands for "every custom name" in the command-line tool's lookups.
const QString AllCustom = QStringLiteral("all custom files");

struct MemberCount
{
    int members = 0;
    int code = PK_OK;
    QStringList messages;
};

// Counts the members with the engine's listing; no listing line is formatted (a collection
// holds many archives of hundreds of members each).
MemberCount countMembers(const QByteArray &path)
{
    MemberCount count;
    EngineSink sink;
    sink.onListing = [&count](const ListingEntry &) { ++count.members; };
    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    DCL dcl = blankDcl();
    dcl.nvflag = 1;
    dcl.nUflag = 1;
    dcl.C_flag = 1;
    EngineText archive(path);
    dcl.lpszZipFN = archive.get();
    {
        EngineSinkScope scope(sink);
        FlagScope listingFlag(ListingActive, true);
        FlagScope capture(CaptureOutput, false);
        count.code = ZipEngine::Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &dcl, &functions);
    }
    count.messages = sink.messages;
    return count;
}

Entry readArchive(const QByteArray &bytes, const ReadOptions &options)
{
    Entry entry;
    entry.path = bytes;
    entry.kind = Kind::Zip;
    const QString path = QFile::decodeName(bytes);
    const MemberCount count = countMembers(bytes);
    if (count.code != PK_OK && count.code != PK_WARN) {
        entry.error = count.messages.isEmpty() ? ArchiveOps::unzipCodeText(count.code)
                                               : count.messages.constFirst();
        return entry;
    }
    entry.members = count.members;

    LookupState state;
    state.down = ModeButton::Auto;
    state.allCustomLabel = AllCustom;
    state.customCaption = AllCustom;
    state.customList = options.customList;
    const LookupResult found = ViewInfo(path, lookup::plan(state, path));
    if (found.found) {
        entry.member = found.caption;
        QString text = cp437::decode(found.bytes);
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        entry.description = text;
    }
    return entry;
}

Entry readMp3(const QByteArray &bytes)
{
    Entry entry;
    entry.path = bytes;
    entry.kind = Kind::Mp3;
    TID3Tag tag;
    tag.setFileName(QFile::decodeName(bytes));
    entry.title = tag.Title();
    entry.artist = tag.Artist();
    entry.album = tag.Album();
    entry.year = tag.Year();
    entry.comment = tag.Comment();
    entry.genre = tag.Genre();
    entry.track = tag.Track();
    return entry;
}

} // namespace

ReadOptions ReadOptions::forCustomList(const QStringList &customList)
{
    ReadOptions options;
    options.customList = customList;
    // FNV-1a: the same list gives the same key in every process.
    quint64 hash = 14695981039346656037ull;
    for (const char c : customList.join(QLatin1Char('\n')).toUtf8()) {
        hash ^= uchar(c);
        hash *= 1099511628211ull;
    }
    options.planKey = qint64(hash);
    return options;
}

Entry readFile(const QByteArray &path, Kind kind, const ReadOptions &options)
{
    try {
        return kind == Kind::Zip ? readArchive(path, options) : readMp3(path);
    } catch (const std::exception &e) {
        Entry entry;
        entry.path = path;
        entry.kind = kind;
        entry.error = QString::fromLocal8Bit(e.what());
        return entry;
    }
}

} // namespace catalog
