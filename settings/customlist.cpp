#include "settings/customlist.h"

#include "common/fileerror.h"
#include "settings/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace CustomList {

QString currentPath()
{
    return QDir::current().filePath(QString::fromLatin1(FileName));
}

void appendFrom(const QString &path, QStringList &list)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    bool firstLine = true;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (file.error() != QFileDevice::NoError)
            throw FileError(QStringLiteral("Cannot read file %1").arg(path));
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
        throw FileError(QStringLiteral("Cannot read file %1").arg(path));
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
