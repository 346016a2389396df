// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/module.h"

#include "render/picture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <unistd.h>

namespace {

// Always the offscreen platform: a thumbnailer runs without a display, and a picture must not
// depend on which display the caller happens to have.
bool startGraphics()
{
    if (QGuiApplication::instance())
        return true;
    // Qt's notes about the missing display session are no concern of a picture on disk.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "quoril-cli: %s\n", qPrintable(text));
    });
    static int argc = 3;
    static char name[] = "quoril-cli", option[] = "-platform", platform[] = "offscreen";
    static char *argv[] = {name, option, platform, nullptr};
    static QGuiApplication *application = new QGuiApplication(argc, argv);
    return application != nullptr;
}

int drawInto(const char *text, size_t size, int width, const char *outPath)
{
    if (!startGraphics())
        return QuorilRenderNoGraphics;
    const QString description = QString::fromUtf8(text, qsizetype(size));
    const QImage picture = render::descriptionPicture(
        description, width > 0 ? render::ThumbnailSourceHeight : render::MaxPictureHeight);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) ||
        !(width > 0 ? render::thumbnail(picture, width) : picture).save(&buffer, "PNG"))
        return QuorilRenderCannotWrite;
    // The path's bytes as given: a file name need not be UTF-8.
    std::FILE *out = std::fopen(outPath, "wb");
    if (!out)
        return QuorilRenderCannotWrite;
    const bool written =
        std::fwrite(png.constData(), 1, size_t(png.size()), out) == size_t(png.size());
    if (std::fclose(out) != 0 || !written) {
        ::unlink(outPath); // no torn picture is left behind
        return QuorilRenderCannotWrite;
    }
    return QuorilRenderDone;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
quorilRenderDescription(const char *text, size_t size, int width, const char *outPath)
{
    try {
        return drawInto(text, size, width, outPath);
    } catch (...) {
        return QuorilRenderNoGraphics;
    }
}
