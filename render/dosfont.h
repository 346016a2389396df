// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// The description pane's default font: a DOS screen font drawn pixel for pixel. The pc fonts
// are outlines of the PC ROM bitmaps, one font pixel being 1/16 of the em; at 16 pixels each
// font pixel covers exactly one screen pixel, so with neither anti-aliasing nor hinting a run
// of blocks is one solid area and a single line is one pixel wide. The EGA font's 8x14 cells
// come closest to the classic 12-pixel DOS look; the VGA font (8x16) and then the system's
// fixed font stand in when it is missing.
QFont dosFont();
