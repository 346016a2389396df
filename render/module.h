// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry point of the picture module (libquorilrender.so), loaded by `quoril-cli render`
// beside itself. Plain C: no C++ type and no exception crosses the boundary.

#include <cstddef>

extern "C" {

enum QuorilRenderResult {
    QuorilRenderDone = 0,
    QuorilRenderCannotWrite = 1, // the PNG file could not be written
    QuorilRenderNoGraphics = 2,  // the offscreen graphics could not be set up
};

// Draws `text` (UTF-8, lines ending with "\n") as the description pane shows it into the PNG
// file `outPath`. `width` > 0 makes a thumbnail: the top of the picture in a square, at most
// `width` pixels wide; 0 draws the whole description at its own size, pixel for pixel.
using QuorilRenderFn = int (*)(const char *text, size_t size, int width, const char *outPath);
#define QUORIL_RENDER_SYMBOL "quorilRenderDescription"
#define QUORIL_RENDER_LIBRARY "libquorilrender.so"
}
