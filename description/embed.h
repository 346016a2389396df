// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Saving a description into an archive: the bytes go to a file named like the member in a
// private temporary folder, the engine adds that file under its bare name, and the file is
// deleted again.

struct SaveOutcome
{
    bool ok = false;
    // Why the save failed, for the user: names the archive and the engine's reasons.
    QString message;
};

// The description bytes of a text typed in the pane: every line break becomes CR LF.
QByteArray withCrLf(const QByteArray &bytes);

// The option record of a description save: extra fields, junk paths and appending on, every
// other option off, the given compression level ('6' when null).
struct ZPOPT;
ZPOPT descriptionSaveOptions(char level);

// Adds `bytes` to the archive as `memberName`, replacing the member that a lookup of that name
// finds (its stored name and place are kept), so the text replaces it instead of standing
// beside it. Throws FileError ("Cannot create file %s") when the temporary file cannot be
// made; nothing reaches the engine then. A name that is empty or holds a folder is refused
// with descriptionNameProblem()'s words, before anything is read or written. The engine's options
// are the user's again afterwards.
SaveOutcome Embed(const QString &archivePath, const QString &memberName, const QByteArray &bytes,
                  char level);
