// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/treeformats.h"

#include "formats/formats.h"
#include "settings/language.h"
#include "settings/profile.h"

namespace {

const QString Section = QStringLiteral("Archives");
const QString Key = QStringLiteral("OtherFormats");

} // namespace

bool readOtherFormats(const QString &settingsDir)
{
    return Profile(settingsFilePath(settingsDir)).value(Section, Key).trimmed() ==
           QLatin1String("1");
}

void writeOtherFormats(const QString &settingsDir, bool on)
{
    Profile::write(settingsFilePath(settingsDir), Section, Key,
                   on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString treeMask(bool otherFormats)
{
    const QString mask = QStringLiteral("*.zip;*.mp3");
    return otherFormats ? mask + u';' + formats::otherArchiveMask() : mask;
}
