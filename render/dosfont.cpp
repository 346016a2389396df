// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/dosfont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

// The pixel size at which one pixel of the pc fonts is one screen pixel.
constexpr int DosPixelSize = 16;

} // namespace

QFont dosFont()
{
    const QStringList families = QFontDatabase::families();
    for (const char *family : {"Px IBM EGA8", "Px IBM VGA8"}) {
        if (!families.contains(QLatin1String(family)))
            continue;
        QFont font(QString::fromLatin1(family));
        font.setPixelSize(DosPixelSize);
        font.setStyleHint(QFont::Monospace, QFont::NoAntialias);
        font.setHintingPreference(QFont::PreferNoHinting);
        font.setKerning(false);
        return font;
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    font.setStyleHint(QFont::Monospace);
    return font;
}
