// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivefixtures.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

bool makeDatedZip(const QString &path, const QList<DatedMember> &members)
{
    QStringList args{path};
    for (const DatedMember &m : members)
        args << m.name << QString::number(m.size)
             << QStringLiteral("%1,%2,%3,%4,%5")
                    .arg(m.year)
                    .arg(m.month)
                    .arg(m.day)
                    .arg(m.hour)
                    .arg(m.minute);
    return testsupport::python(
               QStringLiteral("import sys, zipfile\n"
                              "a = sys.argv[2:]\n"
                              "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                              "    for i in range(0, len(a), 3):\n"
                              "        d = tuple(int(x) for x in a[i + 2].split(',')) + (0,)\n"
                              "        info = zipfile.ZipInfo(a[i], d)\n"
                              "        info.compress_type = zipfile.ZIP_DEFLATED\n"
                              "        z.writestr(info, b'a' * int(a[i + 1]))\n"),
               args) == 0;
}

bool makeLargeFile(const QString &path, int megabytes, const QString &zip)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < megabytes; ++i) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(block.data()),
                                              block.size() / 4);
        if (file.write(block) != block.size())
            return false;
    }
    file.close();
    return zip.isEmpty() ||
           testsupport::python(QStringLiteral("import sys, zipfile\n"
                                              "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                              "    z.write(sys.argv[2], 'big.bin')\n"),
                               {zip, path}) == 0;
}

QStringList filesBelow(const QString &dir)
{
    QStringList result;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        result << QDir(dir).relativeFilePath(it.next());
    result.sort();
    return result;
}
