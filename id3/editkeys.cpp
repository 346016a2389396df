// SPDX-License-Identifier: GPL-3.0-or-later
#include "id3/editkeys.h"

bool isEditKey(int qtKey, Qt::KeyboardModifiers modifiers)
{
    switch (qtKey) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Delete:
    case Qt::Key_Backslash:
        return true;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return true;
    // The keypad's operators; its digits are covered above.
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        switch (qtKey) {
        case Qt::Key_Asterisk:
        case Qt::Key_Plus:
        case Qt::Key_Comma: // separator
        case Qt::Key_Minus:
        case Qt::Key_Period: // decimal point
        case Qt::Key_Slash:
            return true;
        default:
            break;
        }
    }
    return false;
}
