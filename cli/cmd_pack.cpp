// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "archive/archiveops.h"
#include "zipengine/enginetext.h"

// quoril-cli pack [--level N] [--junk-paths] [--no-recurse] [--update | --freshen] [--move]
//                 [--delete] [--latest-time] [--hidden] ARCHIVE FILE...
// The options start from the default record, as "Reset to default" in the options dialog,
// and are stored the same way; the files then go through the packer's own routine.
int cmdPack(const QStringList &args)
{
    ArchiveOps::ZipOptionsState state =
        ArchiveOps::dialogStateFromOptions(ArchiveOps::defaultZipOptions());
    QStringList operands;
    bool optionsDone = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (optionsDone || !arg.startsWith(QLatin1String("--"))) {
            operands.append(arg);
        } else if (arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (arg == QLatin1String("--level")) {
            if (i + 1 >= args.size()) {
                cliError(QStringLiteral("pack: --level needs a value 0 to 9"));
                return ExitUsage;
            }
            state.level = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--level="))) {
            state.level = arg.mid(8);
        } else if (arg == QLatin1String("--junk-paths")) {
            state.junkDir = true;
        } else if (arg == QLatin1String("--no-recurse")) {
            state.recurseDir = false;
        } else if (arg == QLatin1String("--update")) {
            state.update = true;
        } else if (arg == QLatin1String("--freshen")) {
            state.freshen = true;
        } else if (arg == QLatin1String("--move")) {
            state.move = true;
        } else if (arg == QLatin1String("--delete")) {
            state.deleteEntries = true;
        } else if (arg == QLatin1String("--latest-time")) {
            state.latestTime = true;
        } else if (arg == QLatin1String("--hidden")) {
            state.system = true;
        } else {
            cliError(QStringLiteral("pack: unknown option %1").arg(arg));
            return ExitUsage;
        }
    }
    // The engine would refuse these; say why in words of the command line.
    if (!isLevelText(state.level)) {
        cliError(QStringLiteral("pack: the level must be one digit 0 to 9, not \"%1\"")
                     .arg(state.level));
        return ExitUsage;
    }
    if (state.update && state.freshen) {
        cliError(QStringLiteral("pack: --update and --freshen exclude each other"));
        return ExitUsage;
    }
    if (state.deleteEntries && (state.update || state.freshen)) {
        cliError(QStringLiteral("pack: --delete goes with neither --update nor --freshen"));
        return ExitUsage;
    }
    if (operands.size() < 2 || operands.at(0).trimmed().isEmpty()) {
        cliError(QStringLiteral("pack: usage: pack [OPTIONS] ARCHIVE FILE..."));
        return ExitUsage;
    }
    if (!cliLoadEngine())
        return ExitFailure;

    if (!ArchiveOps::setZipOptions(ArchiveOps::optionsFromDialogState(state))) {
        cliError(QStringLiteral("Error setting Zip Options"));
        return ExitFailure;
    }
    const QString archive = operands.takeFirst();
    const ArchiveOps::ZipReport report = ArchiveOps::zipFiles(archive, operands);
    for (const QString &line : report.lines)
        cliError(line);
    if (report.ok())
        return ExitDone;
    if (report.stopped())
        cliError(QStringLiteral("%1: not written: %2")
                     .arg(archive, ArchiveOps::zipCodeText(report.code)));
    else
        cliError(QStringLiteral("%1: written, but not everything went in").arg(archive));
    return ExitFailure;
}
