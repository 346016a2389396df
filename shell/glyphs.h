// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

// The shell's pictures are drawn in code, so that they stay sharp at every size and need no
// image plug-in. The program icon follows resources/icons/quoril.svg, which the desktop uses.
namespace glyphs {

// The program icon: a red rounded square with a white "Q" whose tail is a zipper.
QPixmap programPixmap(int size);
QIcon programIcon();

// The 16x16 glyph of the menu-bar button: a window sinking into the tray.
QPixmap captionGlyph();

// The tray menu's image strip: four 16x16 cells side by side (64x16). Cell 0 "Restore",
// cell 1 the about item, cell 2 "End program", cell 3 unused (transparent).
QPixmap popupImageStrip();
// One cell of the strip; a null pixmap for an index outside 0..3.
QPixmap popupImageCell(int index);

} // namespace glyphs
