// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "archive/archiveops.h"

#include <QTextStream>

#include <algorithm>

// quoril-cli extract [--freshen | --update | --overwrite] [--paths] [--case-sensitive]
//                    [--names-codepage CP]
//                    ARCHIVE DIR [NAME...]
// The same listing and extraction as the extraction dialog; without names every member is
// named one by one, as "Unzip all" does.
int cmdExtract(const QStringList &arguments)
{
    ArchiveOps::ExtractRequest request;
    QStringList args = arguments;
    if (!takeNamesCodePage(args, request.namesPage))
        return ExitUsage;
    int modes = 0;
    QStringList operands;
    bool optionsDone = false;
    for (const QString &arg : args) {
        if (!optionsDone && arg.startsWith(QLatin1String("--"))) {
            if (arg == QLatin1String("--")) {
                optionsDone = true;
            } else if (arg == QLatin1String("--freshen")) {
                request.extractOnlyNewer = true;
                ++modes;
            } else if (arg == QLatin1String("--update")) {
                request.uFlag = true;
                ++modes;
            } else if (arg == QLatin1String("--overwrite")) {
                request.oFlag = true;
                ++modes;
            } else if (arg == QLatin1String("--paths")) {
                request.dFlag = true;
            } else if (arg == QLatin1String("--case-sensitive")) {
                request.cFlag = false;
            } else {
                cliError(QStringLiteral("extract: unknown option %1").arg(arg));
                return ExitUsage;
            }
        } else {
            operands.append(arg);
        }
    }
    if (modes > 1) {
        cliError(QStringLiteral("extract: choose at most one of --freshen, --update and "
                                "--overwrite"));
        return ExitUsage;
    }
    if (operands.size() < 2 || operands.at(0).trimmed().isEmpty()) {
        cliError(QStringLiteral("extract: usage: extract [OPTIONS] ARCHIVE DIR [NAME...]"));
        return ExitUsage;
    }
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
