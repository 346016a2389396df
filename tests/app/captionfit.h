// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QWidget;

// Every caption of a window that is not fully shown: a button, check box, radio button, label,
// group-box title, tab, menu-bar entry or menu item whose text (measured with its own font and
// style) needs more room than it gets, or that lies partly outside its parent or its window;
// the window's own title when the window is too narrow to show it beside the title-bar buttons;
// the window itself, frame included, when it does not fit on its screen. One line per fault,
// naming the control. Hidden controls and other windows are not looked at; the menus of the
// window (child QMenu objects) are.
QStringList clippedCaptions(QWidget *window);
