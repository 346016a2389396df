// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include "cli/commands.h"

#include <QTextStream>

namespace {

QString usageLine(const CliSyntax &syntax)
{
    return QStringLiteral("usage: quoril-cli %1 [OPTIONS] %2").arg(syntax.command, syntax.operands);
}

// "--level N" as the help lists it.
QString spelled(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString text = names.join(QLatin1String(", "));
    if (!option.valueName().isEmpty())
        text += QLatin1Char(' ') + option.valueName();
    return text;
}

void printHelp(const CliSyntax &syntax)
{
    QTextStream out(stdout);
    out << usageLine(syntax) << "\n\nOptions:\n";
    for (const QCommandLineOption &option : syntax.options)
        out << "  " << spelled(option) << "\n      " << option.description() << '\n';
    out << "  -h, --help\n      Print this help and end.\n";
}

} // namespace

QCommandLineOption cliOption(const QString &name, const QString &help, const QString &valueName)
{
    return QCommandLineOption(name, help, valueName);
}

int cliUsageError(const CliSyntax &syntax, const QString &problem)
{
    cliError(QStringLiteral("%1: %2").arg(syntax.command, problem));
    cliError(usageLine(syntax));
    return ExitUsage;
}

int cliParse(QCommandLineParser &parser, const CliSyntax &syntax, const QStringList &args)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions(syntax.options);
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("quoril-cli")} + args)) {
        const QStringList unknown = parser.unknownOptionNames();
        return cliUsageError(syntax, unknown.isEmpty() ? parser.errorText().trimmed()
                                                       : QStringLiteral("unknown option \"%1\"")
                                                             .arg((unknown.constFirst().size() == 1
                                                                       ? QStringLiteral("-")
                                                                       : QStringLiteral("--")) +
                                                                  unknown.constFirst()));
    }
    if (parser.isSet(help)) {
        printHelp(syntax);
        return ExitDone;
    }
    return -1;
}
