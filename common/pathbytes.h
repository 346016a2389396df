// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <sys/stat.h>

class QFile;

// File names are bytes. Old collections hold names in Latin-1 or DOS code pages that are not
// UTF-8, and Qt's own conversions (QFile::encodeName, QDir, QFileInfo, QFile on a name, the
// argument list) turn such bytes into U+FFFD and back into other bytes. Every path therefore
// travels as a QString in which each byte that is not part of valid UTF-8 is held as the lone
// surrogate U+DC00 + byte: the way back to the bytes is exact, and valid UTF-8 reads as usual.
// Such a path must reach the system only through the calls below (or through the bytes of
// encode()); display() is what the user sees.
namespace pathbytes {

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView path);
// Whether the text holds a byte that is not UTF-8.
bool hasRawBytes(QStringView path);
// The text for the user: each raw byte shows as its Windows-1252 character (a byte that code
// page leaves unassigned as U+FFFD), so "caf\xE9" reads "café".
QString display(QStringView path);

// A file URL with the path's bytes percent-encoded, and back; fromUrl gives an empty path for
// a URL that is not a local file.
QUrl toUrl(const QString &path);
QString fromUrl(const QUrl &url);

// argv as the program got it, argv[0] included.
QStringList arguments(int argc, char **argv);
// The working folder, as its bytes name it; empty when it cannot be read.
QString currentDir();
// The running program's folder, also when no application object was made (quoril-cli makes
// none: it would cost every command 0.4 ms); empty when it cannot be read.
QString programFolder();

// stat(2) on the exact bytes, following links; false with errno set on failure.
bool stat(const QString &path, struct stat &st);
bool exists(const QString &path);
bool isDir(const QString &path);
// A regular file (not a folder, FIFO, socket or device).
bool isFile(const QString &path);

// The names of the regular files in `dir` (links followed) whose name ends with `suffix`,
// letter case ignored, with their bytes kept; in no particular order.
QStringList fileNames(const QString &dir, QStringView suffix);

// Opens an existing regular file for QIODevice::ReadOnly, WriteOnly or ReadWrite (other flags
// are ignored; nothing is created or truncated). Anything but a regular file is refused
// without blocking: a FIFO or a device never hangs the caller. False with errno set.
bool openFile(QFile &file, const QString &path, QIODevice::OpenMode mode);

} // namespace pathbytes
