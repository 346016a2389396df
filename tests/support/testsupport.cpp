// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"

#include "common/pathbytes.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <ftw.h>

namespace testsupport {

int run(const QString &program, const QStringList &args, QByteArray *out, const QString &workingDir,
        const QByteArray &stdinData, QByteArray *err)
{
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(program, args);
    if (!process.waitForStarted(30000)) {
        qWarning("cannot start %s", qPrintable(program));
        return -1;
    }
    if (!stdinData.isEmpty())
        process.write(stdinData);
    process.closeWriteChannel();
    process.waitForFinished(600000);
    if (out)
        *out = process.readAllStandardOutput();
    const QByteArray errors = process.readAllStandardError();
    if (err)
        *err = errors;
    else if (!errors.isEmpty())
        qDebug("%s: %s", qPrintable(program), errors.constData());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int python(const QString &script, const QStringList &args, QByteArray *out)
{
    return run(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + args, out);
}

void makeZip(const QString &path, const QList<Member> &members, bool compress)
{
    // Members are passed as hex so that any byte survives the command line.
    QStringList args{path, compress ? QStringLiteral("1") : QStringLiteral("0")};
    for (const Member &m : members)
        args << m.name << QString::fromLatin1(m.data.toHex());
    const int rc =
        python(QStringLiteral("import sys, zipfile\n"
                              "path, deflate = sys.argv[1], sys.argv[2] == '1'\n"
                              "method = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED\n"
                              "with zipfile.ZipFile(path, 'w', method) as z:\n"
                              "    a = sys.argv[3:]\n"
                              "    for i in range(0, len(a), 2):\n"
                              "        z.writestr(a[i], bytes.fromhex(a[i + 1]))\n"),
               args);
    if (rc != 0)
        qWarning("makeZip failed for %s", qPrintable(path));
}

QByteArray readMember(const QString &archive, const QString &name)
{
    QByteArray out;
    python(
        QStringLiteral("import sys, zipfile\n"
                       "sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))"),
        {archive, name}, &out);
    return out;
}

QStringList memberNames(const QString &archive)
{
    QByteArray out;
    python(QStringLiteral("import sys, zipfile\n"
                          "for n in zipfile.ZipFile(sys.argv[1]).namelist(): print(n)"),
           {archive}, &out);
    QStringList names = QString::fromUtf8(out).split(QLatin1Char('\n'));
    names.removeAll(QString());
    return names;
}

QByteArray readFile(const QString &path)
{
    QFile file;
    if (!pathbytes::openFile(file, path, QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void removeTree(const QString &path)
{
    const auto remove = [](const char *name, const struct stat *, int, FTW *) {
        return ::remove(name);
    };
    ::nftw(QFile::encodeName(path).constData(), remove, 16, FTW_DEPTH | FTW_PHYS);
}

void writeFile(const QString &path, const QByteArray &data)
{
    const int fd = ::open(pathbytes::encode(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QFile file;
    if (fd >= 0 && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        file.write(data);
}

ScriptedPrompter::ScriptedPrompter() : m_previous(Prompter::install(this)) {}

ScriptedPrompter::~ScriptedPrompter()
{
    Prompter::install(m_previous);
}

bool ScriptedPrompter::askYesNo(const QString &text)
{
    questions << text;
    return answers.isEmpty() ? false : answers.takeFirst();
}

void ScriptedPrompter::message(const QString &text, Icon, const QString &caption)
{
    messages << text;
    captions << caption;
}

} // namespace testsupport

#include "zipengine/zipengine.h"

namespace testsupport {

bool loadEngine()
{
    const QString message = ZipEngine::load(QStringLiteral(QUORIL_BIN_DIR));
    if (!message.isEmpty())
        qWarning("%s", qPrintable(message));
    return message.isEmpty();
}

} // namespace testsupport
