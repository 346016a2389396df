// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether the main tree shows archives of other formats (LHA, ARJ, RAR, ...) besides ZIP
// archives and MP3 files: [Archives] OtherFormats of quoril.ini, "1" or "0". Off when the file,
// the section or the key is missing, so the tree shows what it always did.
bool readOtherFormats(const QString &settingsDir);
// Stores the choice, keeping the rest of quoril.ini.
// Throws FileError("Unable to write to <path of quoril.ini>").
void writeOtherFormats(const QString &settingsDir, bool on);

// The main tree's mask: "*.zip;*.mp3", followed by the other formats' names when asked.
QString treeMask(bool otherFormats);
