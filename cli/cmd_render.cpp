// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

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
    QCommandLineParser parser;
    const QCommandLineOption widthOption(QStringLiteral("width"), QString(), QStringLiteral("PX"));
    const QCommandLineOption modeOption(QStringLiteral("mode"), QString(), QStringLiteral("MODE"),
                                        QStringLiteral("auto"));
    const QCommandLineOption listOption(QStringLiteral("custom-list"), QString(),
                                        QStringLiteral("FILE"));
    parser.addOptions({widthOption, modeOption, listOption});
    bool widthOk = true;
    const bool parsed = parser.parse(QStringList{QStringLiteral("render")} + args);
    const int width = parser.isSet(widthOption) ? parser.value(widthOption).toInt(&widthOk) : 0;
    if (!parsed || parser.positionalArguments().size() != 2 || !widthOk || width < 0) {
        cliError(parsed && parser.positionalArguments().size() == 2
                     ? QStringLiteral("the width must be a number of pixels")
                 : parser.errorText().isEmpty()
                     ? QStringLiteral("usage: quoril-cli render [--width PX] [--mode MODE] "
                                      "[--custom-list FILE] ARCHIVE OUT.png")
                     : parser.errorText());
        return ExitUsage;
    }
    const QString archive = parser.positionalArguments().at(0);
    const QString out = parser.positionalArguments().at(1);
    try {
        LookupResult result;
        if (const int failed =
                cliLookup(archive, parser.value(modeOption),
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
