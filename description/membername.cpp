// SPDX-License-Identifier: GPL-3.0-or-later
#include "description/membername.h"

#include "common/pathbytes.h"

QString descriptionNameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("The description file name is empty.");
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("The description file name must not contain a folder: %1")
            .arg(pathbytes::display(name));
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("The description file name must not be \"%1\".").arg(name);
    return QString();
}
