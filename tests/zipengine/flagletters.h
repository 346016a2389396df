// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "zipengine/records.h"

// Option flags spelt as letters in the tests' rows and in the helper program's arguments:
// u update, f freshen, d delete, m move, j junk paths, n no recursion, s system and hidden
// files, l latest time.
inline void applyFlagLetter(ZPOPT &options, char letter)
{
    switch (letter) {
    case 'u':
        options.fUpdate = -1;
        break;
    case 'f':
        options.fFreshen = -1;
        break;
    case 'd':
        options.fDeleteEntries = -1;
        break;
    case 'm':
        options.fMove = -1;
        break;
    case 'j':
        options.fJunkDir = -1;
        break;
    case 'n':
        options.fRecurse = 0;
        break;
    case 's':
        options.fSystem = -1;
        break;
    case 'l':
        options.fLatestTime = -1;
        break;
    default:
        break;
    }
}
