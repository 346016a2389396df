// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"

#include "archive/archiveops.h"
#include "common/pathbytes.h"
#include "dostext/codepage.h"
#include "zipengine/callbacks.h"

#include <algorithm>
#include <cstdio>

QString escapedControls(const QString &line)
{
    // Nearly every line is printable ASCII throughout: returned as it is.
    const auto printableAscii = [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; };
    if (std::all_of(line.cbegin(), line.cend(), printableAscii))
        return line;
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c.category() != QChar::Other_Control && c != QChar::LineSeparator &&
            c != QChar::ParagraphSeparator) {
            out += c;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c.unicode() < 0x100) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

QCommandLineOption namesCodePageOption()
{
    return cliOption(QStringLiteral("names-codepage"),
                     QStringLiteral("Code page of member names not flagged UTF-8 (default cp437)."),
                     QStringLiteral("CP"));
}

bool namesCodePage(const QCommandLineParser &parser, const CliSyntax &syntax,
                   dostext::CodePage &page)
{
    const QString value = parser.value(QStringLiteral("names-codepage"));
    if (value.isEmpty())
        return true;
    const auto chosen = dostext::codePageFromName(value);
    if (!chosen) {
        cliUsageError(syntax, QStringLiteral("unknown code page \"%1\"").arg(value));
        return false;
    }
    page = *chosen;
    return true;
}

int cmdList(const QStringList &args)
{
    const CliSyntax syntax{
        QStringLiteral("list"), QStringLiteral("ARCHIVE"), {namesCodePageOption()}};
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    dostext::CodePage page = dostext::CodePage::Cp437;
    if (!namesCodePage(parser, syntax, page))
        return ExitUsage;
    if (parser.positionalArguments().size() != 1)
        return cliUsageError(syntax, QStringLiteral("one archive is needed"));
    const QString archive = parser.positionalArguments().constFirst();
    if (!pathbytes::exists(archive)) {
        cliError(QStringLiteral("cannot open %1").arg(archive));
        return ExitFailure;
    }
    if (!cliLoadEngine())
        return ExitFailure;
    // The same lines as the extraction dialog's, printed as the engine reports each member.
    QByteArray out;
    QStringList messages;
    const int code = ArchiveOps::listMembers(
        archive,
        [&out, page](const ListingEntry &listed) {
            ListingEntry entry = listed;
            entry.name = ArchiveOps::displayName(entry.name, page);
            out += escapedControls(listingLine(entry)).toUtf8();
            out += '\n';
            if (out.size() > (1 << 16)) {
                std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
                out.clear();
            }
        },
        messages);
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    if (code != PK_OK && code != PK_WARN) {
        for (const QString &message : messages)
            cliError(message);
        if (messages.isEmpty())
            cliError(QStringLiteral("cannot read %1 (engine code %2)").arg(archive).arg(code));
        return ExitFailure;
    }
    return ExitDone;
}
