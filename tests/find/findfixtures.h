#pragma once

#include "tests/id3/id3fixtures.h"
#include "tests/support/testsupport.h"

#include <QDir>

// One small collection for the find tests: archives with descriptions under a folder and a
// subfolder, an MP3 file with a tag, a damaged archive, and a text file that is no part of it.
namespace findfixtures {

inline void makeCollection(const QString &root)
{
    using testsupport::makeZip;
    QDir(root).mkpath(QStringLiteral("sub"));
    makeZip(root + QStringLiteral("/ALPHA.ZIP"),
            {{QStringLiteral("FILE_ID.DIZ"),
              "\r\n  Space shooter deluxe\r\nby Cr\x8ame Soft\r\nline 3\r\n"},
             {QStringLiteral("alpha.exe"), "MZ"}});
    makeZip(root + QStringLiteral("/beta.zip"), {{QStringLiteral("readme.txt"), "A puzzle game\r\n"}});
    makeZip(root + QStringLiteral("/sub/GAMMA.ZIP"),
            {{QStringLiteral("FILE_ID.DIZ"), "Space trader\r\n"}});
    testsupport::writeFile(root + QStringLiteral("/song.mp3"),
                           id3fixtures::audio(600) +
                               id3fixtures::record("Orbit Song", "Nova Lane", "Far", "1999",
                                                   "", 12));
    testsupport::writeFile(root + QStringLiteral("/broken.zip"), "PK\x03\x04 not an archive");
    testsupport::writeFile(root + QStringLiteral("/notes.txt"), "space space space");
}

} // namespace findfixtures
