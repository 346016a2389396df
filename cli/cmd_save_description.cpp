// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"

#include "description/embed.h"
#include "description/lookup.h"
#include "description/membername.h"
#include "zipengine/enginetext.h"

#include <QFile>

namespace {

// Standard input up to the largest description; false after saying why when it holds more
// (nothing past one byte beyond the limit is read) or cannot be read.
bool readDescription(QByteArray &text)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        cliError(QStringLiteral("cannot read standard input"));
        return false;
    }
    // A pipe gives its bytes in pieces: read until the end or one byte past the limit.
    while (text.size() <= DescriptionLimit) {
        const QByteArray piece = input.read(DescriptionLimit + 1 - text.size());
        if (piece.isEmpty())
            break;
        text += piece;
    }
    if (text.size() > DescriptionLimit) {
        cliError(QStringLiteral("the description on standard input is larger than %1 bytes "
                                "(4 MiB), the most a description may hold; nothing was saved")
                     .arg(DescriptionLimit));
        return false;
    }
    return true;
}

} // namespace

int cmdSaveDescription(const QStringList &args)
{
    const CliSyntax syntax{QStringLiteral("save-description"),
                           QStringLiteral("ARCHIVE NAME"),
                           {cliOption(QStringLiteral("level"),
                                      QStringLiteral("Compression level, one digit from 0 "
                                                     "(stored) to 9 (smallest); 6 when not given."),
                                      QStringLiteral("N"))}};
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    if (parser.positionalArguments().size() != 2)
        return cliUsageError(syntax, QStringLiteral("an archive and a member name are needed"));
    const QString level = parser.isSet(QStringLiteral("level"))
                              ? parser.value(QStringLiteral("level"))
                              : QStringLiteral("6");
    if (!isLevelText(level))
        return cliUsageError(syntax, QStringLiteral("the level is a digit from 0 to 9"));
    const QString archive = parser.positionalArguments().at(0);
    const QString name = parser.positionalArguments().at(1);
    if (const QString problem = descriptionNameProblem(name); !problem.isEmpty()) {
        cliError(problem);
        return ExitFailure;
    }
    QByteArray text;
    if (!readDescription(text))
        return ExitFailure;
    if (!cliLoadEngine())
        return ExitFailure;
    try {
        const SaveOutcome outcome = Embed(archive, name, withCrLf(text), level.at(0).toLatin1());
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
