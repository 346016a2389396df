// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "description/embed.h"
#include "zipengine/enginetext.h"

#include <QCommandLineParser>
#include <QFile>

int cmdSaveDescription(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption levelOption(QStringLiteral("level"), QString(), QStringLiteral("N"),
                                         QStringLiteral("6"));
    parser.addOption(levelOption);
    if (!parser.parse(QStringList{QStringLiteral("save-description")} + args) ||
        parser.positionalArguments().size() != 2) {
        cliError(parser.errorText().isEmpty()
                     ? QStringLiteral("usage: quoril-cli save-description [--level N] ARCHIVE NAME")
                     : parser.errorText());
        return ExitUsage;
    }
    const QString level = parser.value(levelOption);
    if (!isLevelText(level)) {
        cliError(QStringLiteral("the level is a digit from 0 to 9"));
        return ExitUsage;
    }
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        cliError(QStringLiteral("cannot read standard input"));
        return ExitFailure;
    }
    const QByteArray text = withCrLf(input.readAll());
    if (!cliLoadEngine())
        return ExitFailure;
    try {
        const SaveOutcome outcome =
            Embed(parser.positionalArguments().at(0), parser.positionalArguments().at(1), text,
                  level.at(0).toLatin1());
        if (!outcome.ok) {
            cliError(outcome.message);
            return ExitFailure;
        }
    } catch (const std::exception &e) {
        cliError(QString::fromLocal8Bit(e.what()));
        return ExitFailure;
    }
    return ExitDone;
}
