// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/options.h"

#include "common/pathbytes.h"
#include "description/cp437.h"
#include "description/lookup.h"
#include "render/module.h"

#include <QCommandLineParser>
#include <QDir>

#include <dlfcn.h>

namespace {

// The picture module beside the executable; null after printing why it cannot be used. Loaded
// only here, so that no other command pays for QtGui.
QuorilRenderFn loadRenderer()
{
    const QString path =
        QDir(pathbytes::programFolder()).filePath(QLatin1String(QUORIL_RENDER_LIBRARY));
    void *module = dlopen(pathbytes::encode(path).constData(), RTLD_NOW | RTLD_LOCAL);
    const auto entry =
        module ? reinterpret_cast<QuorilRenderFn>(dlsym(module, QUORIL_RENDER_SYMBOL)) : nullptr;
    if (!entry) {
        const char *why = dlerror();
        cliError(
            QStringLiteral("cannot draw pictures: %1 cannot be loaded (%2)")
                .arg(path, why ? QString::fromLocal8Bit(why) : QStringLiteral("no entry point")));
    }
    return entry;
}

} // namespace

int cmdRender(const QStringList &args)
{
    const QCommandLineOption widthOption(
        QStringLiteral("width"),
        QStringLiteral("Draw a thumbnail at most PX pixels wide and high."), QStringLiteral("PX"));
    const QCommandLineOption modeOption = cliModeOption();
    const QCommandLineOption listOption = cliCustomListOption();
    const CliSyntax syntax{QStringLiteral("render"),
                           QStringLiteral("ARCHIVE OUT.png"),
                           {widthOption, modeOption, listOption}};
    QCommandLineParser parser;
    if (const int end = cliParse(parser, syntax, args); end >= 0)
        return end;
    if (parser.positionalArguments().size() != 2)
        return cliUsageError(syntax, QStringLiteral("an archive and a picture file are needed"));
    bool widthOk = true;
    const int width = parser.isSet(widthOption) ? parser.value(widthOption).toInt(&widthOk) : 0;
    if (!widthOk || width < 0)
        return cliUsageError(syntax, QStringLiteral("the width must be a number of pixels"));
    const QString archive = parser.positionalArguments().at(0);
    const QString out = parser.positionalArguments().at(1);
    try {
        LookupResult result;
        if (const int failed =
                cliLookup(archive, parser.isSet(modeOption) ? parser.value(modeOption) : QString(),
                          parser.isSet(listOption) ? parser.value(listOption) : QString(), result))
            return failed;
        if (!result.found) {
            cliError(QStringLiteral("%1 has no description").arg(archive));
            return ExitNothing;
        }
        const QuorilRenderFn renderer = loadRenderer();
        if (!renderer)
            return ExitFailure;
        const QByteArray text = cp437::decode(result.bytes).toUtf8();
        switch (renderer(text.constData(), size_t(text.size()), width,
                         pathbytes::encode(out).constData())) {
        case QuorilRenderDone:
            return ExitDone;
        case QuorilRenderCannotWrite:
            cliError(QStringLiteral("cannot write the picture %1").arg(out));
            return ExitFailure;
        default:
            cliError(QStringLiteral("cannot draw pictures without the offscreen graphics"));
            return ExitFailure;
        }
    } catch (const std::exception &e) {
        cliError(QString::fromLocal8Bit(e.what()));
        return ExitFailure;
    }
}
