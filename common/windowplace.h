// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

class QWidget;

// Where a window opens. A window or dialog opens at its designed size, or larger when its
// captions need more room (its layout's minimum), but never larger than the screen's free area
// leaves room for, frame included; it opens centred on that area, with its frame on screen.
// Before a window was ever shown its frame is not known yet: an allowance for a title bar and
// borders stands for it.

enum class PlaceOn {
    FirstShow, // a window the user sizes and moves for the rest of the run
    EveryShow  // a dialog that opens afresh, centred, each time
};

// Places the window now and again when it is shown (the captions may have changed meanwhile).
void placeWindow(QWidget *window, QSize designed, PlaceOn when);

// Centres the window, frame included, on the free area of its screen, keeping its size.
void centreWindow(QWidget *window);

// Moves the window as little as needed for its frame to lie on the screen's free area (after it
// grew, say).
void keepOnScreen(QWidget *window);
