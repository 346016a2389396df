// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"

#include "archive/archiveops.h"
#include "zipengine/enginetext.h"

namespace {

CliSyntax packSyntax()
{
    return CliSyntax{
        QStringLiteral("pack"),
        QStringLiteral("ARCHIVE FILE..."),
        {cliOption(QStringLiteral("level"), QStringLiteral("Compression level 0 to 9."),
                   QStringLiteral("N")),
         cliOption(QStringLiteral("junk-paths"), QStringLiteral("Store names without folders.")),
         cliOption(QStringLiteral("no-recurse"), QStringLiteral("Do not walk folders.")),
         cliOption(QStringLiteral("update"),
                   QStringLiteral("Add new files, replace older members.")),
         cliOption(QStringLiteral("freshen"),
                   QStringLiteral("Only replace older members; add nothing.")),
         cliOption(QStringLiteral("move"), QStringLiteral("Delete the files once packed.")),
         cliOption(QStringLiteral("delete"), QStringLiteral("Remove the members matching FILE.")),
         cliOption(QStringLiteral("latest-time"),
                   QStringLiteral("Give the archive its newest member's time.")),
         cliOption(QStringLiteral("hidden"), QStringLiteral("Include hidden files."))}};
}

} // namespace

// quoril-cli pack [--level N] [--junk-paths] [--no-recurse] [--update | --freshen] [--move]
//                 [--delete] [--latest-time] [--hidden] ARCHIVE FILE...
// The options start from the default record, as "Reset to default" in the options dialog,
// and are stored the same way; the files then go through the packer's own routine.
int cmdPack(const QStringList &args)
{
    ArchiveOps::ZipOptionsState state =
        ArchiveOps::dialogStateFromOptions(ArchiveOps::defaultZipOptions());
    const CliSyntax syntax = packSyntax();
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    if (parser.isSet(QStringLiteral("level")))
        state.level = parser.value(QStringLiteral("level"));
    const auto flag = [&parser](const char *name) { return parser.isSet(QLatin1String(name)); };
    state.junkDir = state.junkDir || flag("junk-paths");
    state.recurseDir = state.recurseDir && !flag("no-recurse");
    state.update = state.update || flag("update");
    state.freshen = state.freshen || flag("freshen");
    state.move = state.move || flag("move");
    state.deleteEntries = state.deleteEntries || flag("delete");
    state.latestTime = state.latestTime || flag("latest-time");
    state.system = state.system || flag("hidden");
    QStringList operands = parser.positionalArguments();
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
    if (operands.size() < 2 || operands.at(0).trimmed().isEmpty())
        return cliUsageError(syntax, QStringLiteral("an archive and at least one file are needed"));
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
