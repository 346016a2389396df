// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"

#include "archive/archiveops.h"

#include <QTextStream>

#include <algorithm>

namespace {

CliSyntax extractSyntax()
{
    return CliSyntax{
        QStringLiteral("extract"),
        QStringLiteral("ARCHIVE DIR [NAME...]"),
        {cliOption(QStringLiteral("freshen"),
                   QStringLiteral("Only replace older files; create nothing new.")),
         cliOption(QStringLiteral("update"),
                   QStringLiteral("Replace older files and create missing ones.")),
         cliOption(QStringLiteral("overwrite"), QStringLiteral("Replace files without asking.")),
         cliOption(QStringLiteral("paths"), QStringLiteral("Keep the members' folders.")),
         cliOption(QStringLiteral("case-sensitive"), QStringLiteral("Match NAMEs by case.")),
         namesCodePageOption()}};
}

} // namespace

// quoril-cli extract [--freshen | --update | --overwrite] [--paths] [--case-sensitive]
//                    [--names-codepage CP]
//                    ARCHIVE DIR [NAME...]
// The same listing and extraction as the extraction dialog; without names every member is
// named one by one, as "Unzip all" does.
int cmdExtract(const QStringList &args)
{
    const CliSyntax syntax = extractSyntax();
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    ArchiveOps::ExtractRequest request;
    if (!namesCodePage(parser, syntax, request.namesPage))
        return ExitUsage;
    request.extractOnlyNewer = parser.isSet(QStringLiteral("freshen"));
    request.uFlag = parser.isSet(QStringLiteral("update"));
    request.oFlag = parser.isSet(QStringLiteral("overwrite"));
    request.dFlag = request.dFlag || parser.isSet(QStringLiteral("paths"));
    request.cFlag = request.cFlag && !parser.isSet(QStringLiteral("case-sensitive"));
    if (int(request.extractOnlyNewer) + int(request.uFlag) + int(request.oFlag) > 1)
        return cliUsageError(syntax, QStringLiteral("choose at most one of --freshen, --update "
                                                    "and --overwrite"));
    QStringList operands = parser.positionalArguments();
    if (operands.size() < 2 || operands.at(0).trimmed().isEmpty())
        return cliUsageError(syntax, QStringLiteral("an archive and a folder are needed"));
    if (!cliLoadEngine())
        return ExitFailure;

    request.archive = operands.takeFirst();
    request.targetDir = operands.takeFirst();
    request.names = operands;
    if (request.names.isEmpty()) {
        const ArchiveOps::Listing listing = ArchiveOps::getContents(request.archive);
        if (listing.code != PK_OK && listing.names.isEmpty()) {
            for (const QString &line : listing.messages)
                cliError(line);
            cliError(QStringLiteral("%1: %2").arg(request.archive,
                                                  ArchiveOps::unzipCodeText(listing.code)));
            return ExitFailure;
        }
        request.names = listing.names;
        if (request.names.isEmpty())
            return ExitDone; // an archive without members: nothing to do
    }

    const ArchiveOps::ExtractReport report = ArchiveOps::unzipSelectedFiles(request);
    for (const QString &line : report.problems)
        cliError(line);
    if (report.code == PK_OK && report.problems.isEmpty())
        return ExitDone;
    // Members skipped (kept files, encrypted ones without a password, names not found) give
    // 1; a member or a run that failed gives 3, whatever else was skipped.
    if (report.code == PK_FIND)
        return ExitNothing;
    const bool failed =
        std::any_of(report.problems.cbegin(), report.problems.cend(),
                    [](const QString &line) { return line.startsWith(QLatin1String("error:")); });
    const bool skipped =
        report.code == PK_OK || report.code == PK_WARN || report.code == PK_PASSWORD;
    return failed || !skipped ? ExitFailure : ExitNothing;
}
