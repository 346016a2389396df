#include "cli/commands.h"

#include "common/pathbytes.h"
#include "description/lookup.h"
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

} // namespace

int cliLookup(const QString &archive, const QString &mode, const QString &customList,
              LookupResult &result)
{
    LookupState state;
    state.allCustomLabel = QStringLiteral("all custom files");
    state.customCaption = state.allCustomLabel;
    if (!parseMode(mode, state)) {
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
    result = ViewInfo(archive, lookup::plan(state, archive));
    return ExitDone;
}

int cmdDescribe(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption modeOption(QStringLiteral("mode"), QString(), QStringLiteral("MODE"),
                                        QStringLiteral("auto"));
    const QCommandLineOption listOption(QStringLiteral("custom-list"), QString(),
                                        QStringLiteral("FILE"));
    const QCommandLineOption nameOption(QStringLiteral("name"));
    parser.addOptions({modeOption, listOption, nameOption});
    if (!parser.parse(QStringList{QStringLiteral("describe")} + args) ||
        parser.positionalArguments().size() != 1) {
        cliError(parser.errorText().isEmpty()
                     ? QStringLiteral("usage: quoril-cli describe [--mode MODE] "
                                      "[--custom-list FILE] [--name] ARCHIVE")
                     : parser.errorText());
        return ExitUsage;
    }
    const QString archive = parser.positionalArguments().constFirst();
    try {
        LookupResult result;
        if (const int failed =
                cliLookup(archive, parser.value(modeOption),
                          parser.isSet(listOption) ? parser.value(listOption) : QString(), result))
            return failed;
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
