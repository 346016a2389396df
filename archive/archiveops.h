// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dostext/codepage.h"

#include "zipengine/callbacks.h"
#include "zipengine/records.h"

#include <QString>
#include <QStringList>

#include <functional>

// The archive operations behind the extraction dialog, the packer page and the command-line
// tool: listing, extraction and packing through the engine, and the conversion between the
// engine's zip options and the options dialog. No widget is involved here.
namespace formats {
enum class Format;
struct Listing;
} // namespace formats

namespace ArchiveOps {

// Called once per member or file as the engine reaches it, with a running index from 0 and
// the number expected (-1 when it is not known in advance); while the engine still selects
// among many names, also now and then with an empty name (the index unchanged). Return false
// to cancel.
using Progress = std::function<bool(const QString &name, int index, int total)>;
// Called while a large member or file is written: its name, the bytes of it done so far and
// its size. Return false to cancel; the member or file being written is then left out whole.
using MemberProgress = std::function<bool(const QString &name, uint64_t done, uint64_t size)>;

// The members of an archive, in the order the engine reported them: lines[i] is the listing
// line of names[i].
struct Listing
{
    QStringList lines;
    QStringList names;
    int code = PK_OK;          // the engine's result
    QStringList messages;      // the engine's problem lines
    bool engineCalled = false; // false for a blank path
};

// Lists the archive at `path` (passed on unchanged; nothing happens when it is blank).
Listing getContents(const QString &path);
// The engine's listing of `path`, each member handed to `onMember` as it comes; returns the
// engine's result, with its problem lines in `messages`.
int listMembers(const QString &path, const std::function<void(const ListingEntry &)> &onMember,
                QStringList &messages);

// The number of members of `path`, an archive of `format`, listed but not converted; returns
// the engine's result, with its problem lines in `messages`. An archive of another format than
// ZIP is listed whole: with `listed`, that listing is kept there for a lookup that follows.
int countMembers(const QString &path, formats::Format format, qint64 &count, QStringList &messages,
                 formats::Listing *listed = nullptr);

// A listed member name as read in the names' code page (CP437 leaves it unchanged).
QString displayName(const QString &engineName, dostext::CodePage page);

struct ExtractRequest
{
    QString archive;
    QString targetDir; // empty text passes an empty folder name
    bool extractOnlyNewer = false;
    bool uFlag = false;
    bool oFlag = false;
    bool cFlag = true;
    bool dFlag = false;
    QStringList names; // the members to extract; empty means none, never "all"
    // Every member, without naming them one by one; `names` then only lists the members to
    // name as read in `namesPage` (it may be left empty for CP437).
    bool all = false;
    // The code page of member names that are neither ASCII nor flagged UTF-8: the files are
    // named as read in it (the engine still matches and reads the names as stored).
    dostext::CodePage namesPage = dostext::CodePage::Cp437;
};

struct ExtractReport
{
    int code = PK_OK;
    // One line per skipped or failed member (and per failure of the whole run), as the
    // engine worded it: "warning: <member>: <reason>" or "error: ...".
    QStringList problems;
    bool cancelled = false;
    bool engineCalled = false;
    bool ok() const { return engineCalled ? code == PK_OK && problems.isEmpty() : true; }
};

// Extracts request.names from the archive in one engine call (no limit on the number of
// names); the engine's text output is collected, not shown. No names: no engine call.
ExtractReport unzipSelectedFiles(const ExtractRequest &request, const Progress &progress = {},
                                 const MemberProgress &memberProgress = {});

struct ZipReport
{
    int code = ZE_OK;
    QStringList lines; // the engine's warnings and errors
    bool cancelled = false;
    bool engineCalled = false;
    bool ok() const { return code == ZE_OK && lines.isEmpty(); }
    // The run stopped on an error, leaving the archive as it was; otherwise the archive was
    // written and every line is a warning about an input left out or not deleted.
    bool stopped() const;
};

// Adds `files` (every line, in order, duplicates and blanks kept) to the archive at
// `archivePath` (passed on unchanged, blanks kept) with the options the engine holds.
// Nothing happens when the trimmed path is empty or the list is empty.
ZipReport zipFiles(const QString &archivePath, const QStringList &files,
                   const Progress &progress = {}, const MemberProgress &memberProgress = {});

// A human-readable reason for an engine result code.
QString zipCodeText(int code);
QString unzipCodeText(int code);

// The state of the options dialog's controls.
struct ZipOptionsState
{
    bool system = false;
    bool volume = false;
    bool junkDir = false;
    bool recurseDir = false;
    bool latestTime = false;
    bool grow = false;
    bool move = false;
    bool deleteEntries = false;
    bool update = false;
    bool freshen = false;
    QString level;
    bool operator==(const ZipOptionsState &) const = default;
};

// A record with every field 0 except fGrow -1, fRecurse 1 and fLevel '6'.
ZPOPT defaultZipOptions();
// Flags become -1 or 0, fRecurse 1 or 0, fLevel the first character of the level text ('6'
// when it is empty). Any character is passed on: the engine decides whether it is a level.
ZPOPT optionsFromDialogState(const ZipOptionsState &state);
// Any non-zero flag counts as on; recursion only when fRecurse is exactly 1.
ZipOptionsState dialogStateFromOptions(const ZPOPT &options);
// Hands the record to the engine; false when the engine refuses it.
bool setZipOptions(const ZPOPT &options);

} // namespace ArchiveOps
