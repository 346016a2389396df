// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"

#include "common/pathbytes.h"
#include "description/lookup.h"
#include "description/text.h"
#include "settings/customlist.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>

namespace {

// The mode buttons' state for a --mode value; false for an unknown one.
bool parseMode(const QString &mode, LookupState &state)
{
    if (mode == QLatin1String("auto"))
        state.down = ModeButton::Auto;
    else if (mode == QLatin1String("file_id"))
        state.down = ModeButton::FileId;
    else if (mode == QLatin1String("readme"))
        state.down = ModeButton::Readme;
    else if (mode == QLatin1String("filename"))
        state.down = ModeButton::Filename;
    else if (mode == QLatin1String("all-custom"))
        state.down = ModeButton::Custom;
    else if (mode.startsWith(QLatin1String("custom:"))) {
        state.down = ModeButton::Custom;
        state.customCaption = mode.mid(7);
        return true;
    } else
        return false;
    return true;
}

void printInfo(const QString &archive, const LookupResult &result, const DescriptionText &text)
{
    QTextStream out(stdout);
    if (!result.fromComment)
        out << "archive comment: "
            << (archiveComment(archive).isEmpty() ? QStringLiteral("none")
                                                  : QStringLiteral("present"))
            << '\n';
    out << "source: "
        << (result.found         ? QStringLiteral("member %1").arg(result.caption)
            : result.fromComment ? QStringLiteral("the archive comment")
                                 : QStringLiteral("none"))
        << '\n';
    out << "codepage: " << dostext::codePageName(text.page) << " (" << text.pageReason << ")\n";
    const QStringList codes = text.codes.names();
    out << "codes: " << (codes.isEmpty() ? QStringLiteral("none") : codes.join(u", ")) << '\n';
    const dostext::Sauce &sauce = text.split.sauce;
    if (!sauce.present)
        return;
    out << "sauce.title: " << sauce.title << "\nsauce.author: " << sauce.author
        << "\nsauce.group: " << sauce.group << "\nsauce.date: " << sauce.date << '\n';
    if (sauce.width)
        out << "sauce.width: " << sauce.width << '\n';
    if (!sauce.font.isEmpty())
        out << "sauce.font: " << sauce.font << '\n';
}

// --text, --color and --info: the description as the pane shows it.
int printShown(const QString &archive, const LookupPlan &plan, LookupResult result,
               const QCommandLineParser &parser, std::optional<dostext::CodePage> page)
{
    fallBackToComment(archive, plan, result);
    const DescriptionText text = readDescription(result.bytes, page);
    if (parser.isSet(QStringLiteral("info"))) {
        printInfo(archive, result, text);
    } else if (parser.isSet(QStringLiteral("color")) && text.codes.any()) {
        const QByteArray shown = text.screen().terminalText();
        std::fwrite(shown.constData(), 1, size_t(shown.size()), stdout);
    } else if (result.found || result.fromComment) {
        QTextStream(stdout) << text.shownText() << '\n';
    }
    return result.found || result.fromComment ? ExitDone : ExitNothing;
}

} // namespace

QCommandLineOption cliModeOption()
{
    return cliOption(QStringLiteral("mode"),
                     QStringLiteral("auto (default), file_id, readme, filename, all-custom or "
                                    "custom:NAME."),
                     QStringLiteral("MODE"));
}

QCommandLineOption cliCustomListOption()
{
    return cliOption(QStringLiteral("custom-list"),
                     QStringLiteral("The custom names, one a line (default quoril2k.ext)."),
                     QStringLiteral("FILE"));
}

int cliLookup(const QString &archive, const QString &mode, const QString &customList,
              LookupResult &result, LookupPlan *plan)
{
    LookupState state;
    state.allCustomLabel = QStringLiteral("all custom files");
    state.customCaption = state.allCustomLabel;
    if (!parseMode(mode.isEmpty() ? QStringLiteral("auto") : mode, state)) {
        cliError(QStringLiteral("unknown mode \"%1\"").arg(mode));
        return ExitUsage;
    }
    const QString listPath = customList.isEmpty() ? QStringLiteral("quoril2k.ext") : customList;
    if (!customList.isEmpty() && !pathbytes::exists(listPath)) {
        cliError(QStringLiteral("cannot read the custom list %1").arg(listPath));
        return ExitFailure;
    }
    if (pathbytes::exists(listPath))
        state.customList = readCustomList(listPath);
    if (!pathbytes::exists(archive)) {
        cliError(QStringLiteral("cannot open %1").arg(archive));
        return ExitFailure;
    }
    if (!cliLoadEngine())
        return ExitFailure;
    const LookupPlan made = lookup::plan(state, archive);
    result = ViewInfo(archive, made);
    if (plan)
        *plan = made;
    return ExitDone;
}

int cmdDescribe(const QStringList &args)
{
    const QCommandLineOption modeOption = cliModeOption();
    const QCommandLineOption listOption = cliCustomListOption();
    const QCommandLineOption nameOption(QStringLiteral("name"),
                                        QStringLiteral("Print only the caption the window shows."));
    const QCommandLineOption pageOption(QStringLiteral("codepage"),
                                        QStringLiteral("Read the text in code page CP."),
                                        QStringLiteral("CP"));
    const CliSyntax syntax{
        QStringLiteral("describe"),
        QStringLiteral("ARCHIVE"),
        {modeOption, listOption, nameOption, pageOption,
         cliOption(QStringLiteral("text"), QStringLiteral("Print the text as the pane shows it.")),
         cliOption(QStringLiteral("color"), QStringLiteral("Print it in its colours.")),
         cliOption(QStringLiteral("info"), QStringLiteral("Print what was found and how it is "
                                                          "read."))}};
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    if (parser.positionalArguments().size() != 1)
        return cliUsageError(syntax, QStringLiteral("one archive is needed"));
    const QString archive = parser.positionalArguments().constFirst();
    std::optional<dostext::CodePage> page;
    if (parser.isSet(pageOption)) {
        page = dostext::codePageFromName(parser.value(pageOption));
        if (!page) {
            cliError(QStringLiteral("unknown code page \"%1\"").arg(parser.value(pageOption)));
            return ExitUsage;
        }
    }
    try {
        LookupResult result;
        LookupPlan plan;
        if (const int failed = cliLookup(
                archive, parser.isSet(modeOption) ? parser.value(modeOption) : QString(),
                parser.isSet(listOption) ? parser.value(listOption) : QString(), result, &plan))
            return failed;
        if (parser.isSet(QStringLiteral("text")) || parser.isSet(QStringLiteral("color")) ||
            parser.isSet(QStringLiteral("info")))
            return printShown(archive, plan, result, parser, page);
        if (parser.isSet(nameOption)) {
            QTextStream(stdout) << result.caption << '\n';
        } else if (result.found) {
            std::fwrite(result.bytes.constData(), 1, static_cast<size_t>(result.bytes.size()),
                        stdout);
            if (result.truncated)
                cliError(QStringLiteral("the description is larger than %1 bytes; only its "
                                        "beginning was written")
                             .arg(DescriptionLimit));
        }
        return result.found ? ExitDone : ExitNothing;
    } catch (const std::exception &e) {
        cliError(QString::fromLocal8Bit(e.what()));
        return ExitFailure;
    }
}
