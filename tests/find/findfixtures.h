// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/id3/id3fixtures.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

// One small collection for the find tests: archives with descriptions under a folder and a
// subfolder, an MP3 file with a tag, a damaged archive, and a text file that is no part of it.
// It is made once (Python's zipfile) and copied for each test.
namespace findfixtures {

inline bool makeCollection(const QString &root)
{
    QDir(root).mkpath(QStringLiteral("sub"));
    testsupport::writeFile(root + QStringLiteral("/song.mp3"),
                           id3fixtures::audio(600) + id3fixtures::record("Orbit Song", "Nova Lane",
                                                                         "Far", "1999", "", 12));
    testsupport::writeFile(root + QStringLiteral("/broken.zip"), "PK\x03\x04 not an archive");
    testsupport::writeFile(root + QStringLiteral("/notes.txt"), "space space space");
    return testsupport::python(
               QStringLiteral(
                   "import sys, zipfile\n"
                   "def make(name, members):\n"
                   "    with zipfile.ZipFile(sys.argv[1] + '/' + name, 'w') as z:\n"
                   "        for member, data in members: z.writestr(member, data)\n"
                   "make('ALPHA.ZIP', [('FILE_ID.DIZ', b'\\r\\n  Space shooter deluxe\\r\\n"
                   "by Cr\\x8ame Soft\\r\\nline 3\\r\\n'), ('alpha.exe', b'MZ')])\n"
                   "make('beta.zip', [('readme.txt', b'A puzzle game\\r\\n')])\n"
                   "make('sub/GAMMA.ZIP', [('FILE_ID.DIZ', b'Space trader\\r\\n')])\n"),
               {root}) == 0;
}

// Copies the files and folders under `from` to `to`.
inline void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QDir().mkpath(to);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(path, target);
    }
}

} // namespace findfixtures
