// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Archives other than ZIP, read only: LHA, RAR, 7z, CAB, tar, ISO 9660 and cpio through
// libarchive in this process; ARJ, ARC, ZOO, LZX, DMS and old self-extractors through the
// external helper unar (lsar/unar) when it is installed. ZIP archives are never read here:
// they belong to the zip engine. No widget is involved.
namespace formats {

enum class Format { Zip, Lha, Rar, SevenZip, Cab, Tar, Iso, Cpio, Arj, Arc, Zoo, Lzx, Dms, Sfx };

// The format by the file's first bytes, not by its name. Zip for everything that is not
// recognised as another format (a ZIP archive, a ZIP self-extractor, a damaged or foreign
// file): the zip engine then has its say, as it always had.
Format detect(const QString &path);
// The short name the collection index records: "lha", "rar", "7z", "cab", "tar", ...
QString formatName(Format format);
// The name a user reads in messages: "LHA", "RAR", "7z", ...
QString displayName(Format format);

// The tree's masks of the archives read here ("*.lha;*.lzh;...").
QString otherArchiveMask();

// Whether unar and lsar are installed (looked up on PATH).
bool helperAvailable();

struct Member
{
    QString name; // as stored, "/" between folders
    uint64_t size = 0;
    bool sizeKnown = true; // the archive stores the size (a stream may not)
    uint64_t compressedSize = 0;
    qint64 mtime = 0; // seconds since 1970 UTC; 0 when unknown
    bool folder = false;
    bool link = false;    // a symbolic or hard link: listed, never extracted
    bool special = false; // a device, FIFO or socket: listed, never extracted
    int index = 0;        // position in the archive
};

struct Listing
{
    QList<Member> members;
    // Why the archive cannot be read, in words; empty when it was read. Members found before a
    // failure are kept.
    QString error;
    bool ok() const { return error.isEmpty(); }
    bool helper = false; // read through the external helper
};

Listing list(const QString &path, Format format);

// The member that a lookup of `tried` finds: stored names are compared after case folding
// (every letter to one case, Unicode-aware); the one equal byte for byte wins, else the first
// in archive order. -1 when none answers. Folders never answer.
int answeringMember(const Listing &listing, const QString &tried);

struct Delivery
{
    QByteArray bytes;
    bool truncated = false; // the member is larger than the limit: bytes holds its beginning
    QString error;          // empty when the member was read whole (or up to the limit)
};

// The bytes of listing.members[member] exactly as stored, at most `limit` of them.
Delivery deliver(const QString &path, Format format, const Listing &listing, int member,
                 qsizetype limit);

// Called as each member is reached, with a running index and the number chosen; false cancels.
using Progress = std::function<bool(const QString &name, int index, int total)>;
// Called while a member is written: bytes done and its size; false cancels.
using MemberProgress = std::function<bool(const QString &name, uint64_t done, uint64_t size)>;

struct ExtractRequest
{
    QString archive;
    Format format = Format::Zip;
    QString targetDir;
    QStringList names; // members to extract; empty extracts none
    bool caseInsensitive = true;
    bool withPaths = false; // keep the members' folders below the target
    bool overwrite = false; // replace existing files
    bool onlyNewer = false; // replace only existing files older than the member, create none
    bool update = false;    // replace older files and create missing ones
};

struct ExtractReport
{
    // "warning: <member>: <reason>" or "error: <member or archive>: <reason>", one a line.
    QStringList problems;
    bool cancelled = false;
    bool failed = false; // a member or the whole run failed (not only skipped)
    int extracted = 0;
    QStringList unmatched; // names that no member answered
};

// Extracts the chosen members below the target folder: nothing is written outside it, no
// folder on the way may be a symbolic link, links and devices are not extracted, existing files
// are kept unless an option says otherwise, and a member is written into a temporary file that
// gets its name only when the member was read whole, no larger than its header said.
ExtractReport extract(const ExtractRequest &request, const Progress &progress = {},
                      const MemberProgress &memberProgress = {});

// Limits that keep hostile archives in bounds.
constexpr int HelperTimeoutMs = 120 * 1000;              // one run of lsar or unar
constexpr qsizetype HelperListingLimit = 64 << 20;       // bytes of lsar's JSON listing
constexpr uint64_t UnknownSizeLimit = uint64_t(4) << 30; // a member whose size is not stored

} // namespace formats
