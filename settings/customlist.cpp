// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/customlist.h"

#include "common/fileerror.h"
#include "common/pathbytes.h"
#include "settings/profile.h"

#include <QFile>

namespace CustomList {

QString currentPath()
{
    // The working folder as its bytes name it (common/pathbytes.h).
    return pathbytes::currentDir() + u'/' + QString::fromLatin1(FileName);
}

void appendFrom(const QString &path, QStringList &list)
{
    if (!pathbytes::exists(path))
        return;
    // Only a regular file is read: a FIFO or a device never blocks the caller.
    QFile file;
    if (!Profile::openBounded(file, path))
        throw FileError::cannotOpen(path);
    bool firstLine = true;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (file.error() != QFileDevice::NoError)
            throw FileError(QStringLiteral("Cannot read file %1").arg(pathbytes::display(path)));
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (firstLine && line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3);
        firstLine = false;
        if (!line.isEmpty())
            list.append(Profile::decode(line));
    }
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("Cannot read file %1").arg(pathbytes::display(path)));
}

void write(const QString &path, const QStringList &entries)
{
    QByteArray contents;
    for (const QString &entry : entries) {
        if (!entry.isEmpty())
            contents += entry.toUtf8() + "\r\n";
    }
    if (!replaceFile(path, contents))
        throw FileError::cannotCreate(path);
}

} // namespace CustomList

QStringList readCustomList(const QString &path)
{
    QStringList list;
    CustomList::appendFrom(path, list);
    return list;
}
