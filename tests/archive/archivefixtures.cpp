#include "archivefixtures.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QDirIterator>

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
