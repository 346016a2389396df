// SPDX-License-Identifier: GPL-3.0-or-later
#include "description/lookup.h"

#include "common/pathbytes.h"
#include "formats/formats.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

namespace lookup {

namespace {

const QString FileIdDizName = QStringLiteral("file_id.diz");
const QString ReadmeName = QStringLiteral("readme.txt");
const QString FilenameToken = QStringLiteral("<filename>");

QStringList expandedCustomStep(const LookupState &state, const QString &name)
{
    QStringList names;
    if (state.customCaption == state.allCustomLabel) {
        for (const QString &custom : state.customList)
            names << expandCustomName(custom, name);
    } else {
        names << expandCustomName(state.customCaption, name);
    }
    return names;
}

} // namespace

QString archiveName(const QString &archivePath)
{
    // Member names are text: a byte of the file name that is not UTF-8 counts as the
    // character the user sees in the tree.
    return pathbytes::display(
        QStringView(archivePath).sliced(archivePath.lastIndexOf(QLatin1Char('/')) + 1));
}

QString archiveNamedTxt(const QString &archiveName)
{
    return archiveName.left(qMax<qsizetype>(0, archiveName.size() - 3)) + QStringLiteral("txt");
}

QString expandCustomName(const QString &customName, const QString &archiveName)
{
    if (!customName.contains(FilenameToken))
        return customName;
    const qsizetype archiveDot = archiveName.indexOf(QLatin1Char('.'));
    const QString stem = archiveDot < 0 ? QString() : archiveName.left(archiveDot + 1);
    const qsizetype customDot = customName.indexOf(QLatin1Char('.'));
    const QString tail = customDot < 0 ? customName : customName.mid(customDot + 1);
    return stem + tail;
}

DescriptionKind decideKind(const LookupState &state)
{
    switch (state.down) {
    case ModeButton::Auto:
        return DescriptionKind::AutoSelect;
    case ModeButton::FileId:
        return DescriptionKind::FileIdDiz;
    case ModeButton::Readme:
        return DescriptionKind::ReadmeTxt;
    case ModeButton::Filename:
        return DescriptionKind::ArchiveNamedTxt;
    case ModeButton::Custom:
        break;
    }
    return state.customCaption == state.allCustomLabel ? DescriptionKind::AllCustom
                                                       : DescriptionKind::OneCustom;
}

LookupPlan plan(const LookupState &state, const QString &archivePath)
{
    const QString name = archiveName(archivePath);
    LookupPlan p;
    p.kind = decideKind(state);
    switch (p.kind) {
    case DescriptionKind::AutoSelect:
        p.names << FileIdDizName << ReadmeName << archiveNamedTxt(name)
                << expandedCustomStep(state, name);
        p.notFoundCaption = FileIdDizName;
        break;
    case DescriptionKind::FileIdDiz:
        p.names << FileIdDizName;
        break;
    case DescriptionKind::ReadmeTxt:
        p.names << ReadmeName;
        break;
    case DescriptionKind::ArchiveNamedTxt:
        p.names << archiveNamedTxt(name);
        break;
    case DescriptionKind::AllCustom:
    case DescriptionKind::OneCustom:
        p.names << expandedCustomStep(state, name);
        break;
    }
    if (p.kind != DescriptionKind::AutoSelect) {
        // The last name tried; an empty custom list tries none, and a later save then
        // writes the usual description name.
        p.notFoundCaption = p.names.isEmpty() ? FileIdDizName : p.names.last();
    }
    return p;
}

} // namespace lookup

namespace {

// The request of a lookup: the member's bytes delivered through print, nothing written to
// disk, names matched without regard to letter case.
struct DeliveryRequest
{
    explicit DeliveryRequest(const QString &archivePath) : archive(archivePath)
    {
        dcl = blankDcl();
        dcl.ncflag = 1;
        dcl.nUflag = 1;
        dcl.C_flag = 1;
        dcl.lpszZipFN = archive.get();
        dcl.lpszExtractDir = emptyDir;
    }
    int call(const QString &name, EngineSink &sink)
    {
        USERFUNCTIONS functions;
        FillUserFunctions(functions);
        EngineTextArray include(QStringList{name});
        EngineSinkScope scope(sink);
        return ZipEngine::Wiz_SingleEntryUnzip(1, include.get(), 0, nullptr, &dcl, &functions);
    }
    EngineText archive;
    char emptyDir[1] = {0};
    DCL dcl;
};

} // namespace

namespace {

// The same lookup on an archive of another format: listed once, each name answered by the
// same rule as in a ZIP archive, the member's bytes delivered as stored.
LookupResult viewOther(const QString &archivePath, formats::Format format, const LookupPlan &plan,
                       const formats::Listing &listing)
{
    LookupResult result;
    result.caption = plan.notFoundCaption;
    result.readOnlyReason = readOnlyReason(format);
    for (const QString &name : plan.names) {
        const int member = formats::answeringMember(listing, name);
        if (member < 0)
            continue;
        formats::Delivery delivery =
            formats::deliver(archivePath, format, listing, member, DescriptionLimit);
        if (!delivery.error.isEmpty())
            continue;
        result.found = true;
        result.caption = name;
        result.bytes = std::move(delivery.bytes);
        result.truncated = delivery.truncated;
        break;
    }
    return result;
}

} // namespace

QString readOnlyReason(formats::Format format)
{
    if (format == formats::Format::Zip)
        return QString();
    return QStringLiteral("Quoril saves descriptions only into ZIP archives: this %1 archive is "
                          "shown read-only.")
        .arg(formats::displayName(format));
}

LookupResult ViewInfo(const QString &archivePath, const LookupPlan &plan)
{
    return ViewInfo(archivePath, plan, formats::detect(archivePath));
}

LookupResult ViewInfo(const QString &archivePath, const LookupPlan &plan, formats::Format format,
                      const formats::Listing *listed)
{
    if (format != formats::Format::Zip)
        return viewOther(archivePath, format, plan,
                         listed ? *listed : formats::list(archivePath, format));
    LookupResult result;
    result.caption = plan.notFoundCaption;
    DeliveryRequest request(archivePath);
    // The flag routes print into the sink for the whole lookup, and is cleared however the
    // lookup ends.
    FlagScope capture(CaptureOutput, true);
    for (const QString &name : plan.names) {
        EngineSink sink;
        sink.captureLimit = DescriptionLimit;
        const int rc = request.call(name, sink);
        // A member cut off at the limit was found all the same: the engine stopped because
        // the pane would not take more.
        if (rc == PK_OK || sink.captureTruncated) {
            result.found = true;
            result.caption = name;
            result.bytes = std::move(sink.captured);
            result.truncated = sink.captureTruncated;
            break;
        }
    }
    return result;
}

QString answeringMemberName(const QString &archivePath, const QString &name)
{
    if (const formats::Format format = formats::detect(archivePath);
        format != formats::Format::Zip) {
        const formats::Listing listing = formats::list(archivePath, format);
        const int member = formats::answeringMember(listing, name);
        return member < 0 ? name : listing.members.at(member).name;
    }
    DeliveryRequest request(archivePath);
    FlagScope capture(CaptureOutput, false);
    EngineSink sink;
    QString stored;
    // The engine names the member it is about to deliver; stopping there reads none of it.
    sink.onService = [&stored](const QString &member, uint64_t) {
        stored = member;
        return member.isEmpty();
    };
    request.call(name, sink);
    return stored.isEmpty() ? name : stored;
}

QByteArray archiveComment(const QString &archivePath)
{
    DCL dcl = blankDcl();
    dcl.nzflag = 1;
    EngineText archive(archivePath);
    dcl.lpszZipFN = archive.get();
    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    FlagScope capture(CaptureOutput, true);
    EngineSink sink;
    sink.captureLimit = DescriptionLimit;
    EngineSinkScope scope(sink);
    return ZipEngine::Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &dcl, &functions) == PK_OK
               ? sink.captured
               : QByteArray();
}

bool fallBackToComment(const QString &archivePath, const LookupPlan &plan, LookupResult &result)
{
    if (result.found || plan.kind != DescriptionKind::AutoSelect)
        return false;
    result.bytes = archiveComment(archivePath);
    result.fromComment = !result.bytes.isEmpty();
    return result.fromComment;
}
