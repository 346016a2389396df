// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Which member names a description lookup tries, decided afresh at every lookup from the mode
// buttons, and the lookup itself through the engine.

enum class ModeButton { Auto, FileId, Readme, Filename, Custom };

enum class DescriptionKind {
    AutoSelect,
    FileIdDiz,
    ReadmeTxt,
    ArchiveNamedTxt,
    AllCustom,
    OneCustom
};

struct LookupState
{
    ModeButton down = ModeButton::Auto;
    QString customCaption;  // the caption of B_Custom
    QString allCustomLabel; // the caption that means "every custom name"
    QStringList customList; // the user's custom names, in list order
};

struct LookupPlan
{
    DescriptionKind kind = DescriptionKind::AutoSelect;
    QStringList names;       // tried in this order, stopping at the first found
    QString notFoundCaption; // the group box caption when none is found
};

namespace lookup {

// The archive's file name without its folder, as the user reads it (common/pathbytes.h).
QString archiveName(const QString &archivePath);
// GAME.ZIP gives GAME.txt: the last three characters replaced by "txt".
QString archiveNamedTxt(const QString &archiveName);
// "<filename>.nfo" with GAME.ZIP gives GAME.nfo, with my.setup.zip gives my.nfo; a name
// without the token is used unchanged.
QString expandCustomName(const QString &customName, const QString &archiveName);

DescriptionKind decideKind(const LookupState &state);
LookupPlan plan(const LookupState &state, const QString &archivePath);

} // namespace lookup

namespace formats {
enum class Format;
struct Listing;
} // namespace formats

struct LookupResult
{
    bool found = false;
    QString caption;  // the found name, or the not-found caption
    QByteArray bytes; // the member's bytes exactly as stored (empty when not found)
    // The member is larger than the pane shows: bytes holds only its beginning and the text
    // must not be saved back.
    bool truncated = false;
    // Why the pane's text cannot be saved into this archive (a format Quoril reads but does not
    // write); empty when it can.
    QString readOnlyReason;
    // Nothing answered and the bytes are the archive comment's (Auto select falls back to it);
    // the caption stays the not-found name, under which a save would store a description.
    bool fromComment = false;
};

// "Quoril saves descriptions only into ZIP archives: ..." for a format other than ZIP.
QString readOnlyReason(formats::Format format);

// The largest description the pane loads whole.
constexpr qsizetype DescriptionLimit = 4 * 1024 * 1024;

// Runs the plan against the archive through the engine: each name is asked for with
// case-insensitive matching, its bytes delivered into memory, nothing written to disk.
LookupResult ViewInfo(const QString &archivePath, const LookupPlan &plan);
// The same for an archive whose format is already known; an archive of another format than
// ZIP that was just listed is looked up in `listed`, not read again.
LookupResult ViewInfo(const QString &archivePath, const LookupPlan &plan, formats::Format format,
                      const formats::Listing *listed = nullptr);

// The stored name of the member that a lookup of `name` delivers (when several members answer
// the name, the engine's choice), or `name` itself when the archive holds none. A save
// replaces this member.
QString answeringMemberName(const QString &archivePath, const QString &name);

// The archive's comment, its bytes as stored; empty when it has none or cannot be read.
QByteArray archiveComment(const QString &archivePath);

// Under Auto select, when no member answered: the archive comment becomes the text shown.
// Returns whether it did.
bool fallBackToComment(const QString &archivePath, const LookupPlan &plan, LookupResult &result);
