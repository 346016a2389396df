// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

// Whether a key press counts as an edit in the description pane and in the tag pane:
// Backspace, Return and Enter, Space, Delete, the digits 0-9, the letters A-Z, the keypad's
// digits and operators (* + separator - . / with Qt::KeypadModifier) and backslash. The other
// modifiers are not looked at, so Ctrl+C counts like C. Every other key (arrows, Home, End,
// function keys, other punctuation, a modifier alone) does not count.
//
// The key press itself is never consumed by the caller. Text changes that no listed key
// produces (punctuation, paste) are caught by the panes through the controls' edit signals.
bool isEditKey(int qtKey, Qt::KeyboardModifiers modifiers);
