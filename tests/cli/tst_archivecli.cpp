// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// quoril-cli's archive commands: what a shell user sees (lines, messages, exit codes).

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");

// Every file and folder below `root`, hidden ones included, relative and sorted.
QStringList entries(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

// True once the process has a file open below `root` that is not one of `known`: what it
// writes now.
bool writesNewFile(qint64 pid, const QString &root, const QStringList &known)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char link[4096];
        const ssize_t n =
            ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), link, sizeof link);
        const QString target = QFile::decodeName(QByteArray(link, n > 0 ? n : 0));
        // The folder itself (open to list or sweep it) is no file.
        if (target.startsWith(root + QLatin1Char('/')) && !QFileInfo(target).isDir() &&
            !known.contains(QDir(root).relativeFilePath(target)))
            return true;
    }
    return false;
}

// A process number that no process has any more.
qint64 deadPid()
{
    QByteArray out;
    testsupport::python(QStringLiteral("import os\n"
                                       "pid = os.fork()\n"
                                       "if pid == 0: os._exit(0)\n"
                                       "os.waitpid(pid, 0)\n"
                                       "print(pid)\n"),
                        {}, &out);
    return out.trimmed().toLongLong();
}

// big.zip (a large stored member and a description) and huge.bin, with an empty tmp folder.
void makeBigFixture(const QString &folder)
{
    QVERIFY(QDir(folder).mkpath(QStringLiteral("tmp")));
    QCOMPARE(
        testsupport::python(
            QStringLiteral("import sys, os, zipfile\n"
                           "with zipfile.ZipFile(sys.argv[1] + '/big.zip', 'w') as z:\n"
                           "    z.writestr('old.bin', os.urandom(48 << 20))\n"
                           "    z.writestr('file_id.diz', b'old')\n"
                           "open(sys.argv[1] + '/huge.bin', 'wb').write(os.urandom(48 << 20))\n"),
            {folder}),
        0);
}

QProcess *startCli(QProcess &child, const QString &folder, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), folder + QStringLiteral("/tmp"));
    child.setProcessEnvironment(env);
    child.start(Cli, args);
    child.write("new description\n");
    child.closeWriteChannel();
    return &child;
}

} // namespace

class TestArchiveCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void killedRunLeavesNothing_data();
    void killedRunLeavesNothing();
    void staleTemporariesSwept();
    void saveKeepsOtherMembersRecords();
    void packingManyFilesKeepsMemoryFlat();

private:
    QTemporaryDir m_dir;
};

// names.zip: a member whose name holds a line break and a tab, and a plain one; enc.zip: an
// encrypted member (made by Info-ZIP zip) beside a plain one; fifo.zip: a FIFO nobody writes.
void TestArchiveCli::initTestCase()
{
    QVERIFY(QFileInfo::exists(Cli));
    QCOMPARE(testsupport::python(
                 QStringLiteral(
                     "import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1] + '/names.zip', 'w') as z:\n"
                     "    for name in ['bad\\nname\\t.txt', 'plain.txt']:\n"
                     "        z.writestr(zipfile.ZipInfo(name, (1999, 3, 5, 10, 7, 0)), b'x')\n"),
                 {m_dir.path()}),
             0);
    testsupport::writeFile(m_dir.filePath(QStringLiteral("secret.txt")), "secret");
    testsupport::writeFile(m_dir.filePath(QStringLiteral("open.txt")), "open");
    QCOMPARE(testsupport::run(QStringLiteral("zip"), {"-qP", "pw", "enc.zip", "secret.txt"},
                              nullptr, m_dir.path()),
             0);
    QCOMPARE(testsupport::run(QStringLiteral("zip"), {"-q", "enc.zip", "open.txt"}, nullptr,
                              m_dir.path()),
             0);
    QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo.zip"))), 0600), 0);
}

void TestArchiveCli::commands_data()
{
    // "@/" stands for the test's folder.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // the whole standard output, when not null
    QTest::addColumn<QString>("err"); // a text standard error must hold
    const QString arabicThree(QChar(0x0663));
    QTest::newRow("list: one line per member, controls escaped")
        << QStringList{"list", "@/names.zip"} << 0
        << QStringLiteral("      1  03-05-99 10:07  bad\\nname\\t.txt\n"
                          "      1  03-05-99 10:07  plain.txt\n")
        << QString();
    QTest::newRow("pack --delete matching nothing writes nothing")
        << QStringList{"pack", "--delete", "@/names.zip", "none*"} << 3 << QString()
        << QStringLiteral("names.zip: not written");
    QTest::newRow("extract skipping an encrypted member")
        << QStringList{"extract", "@/enc.zip", "@/out"} << 1 << QString()
        << QStringLiteral("secret.txt: encrypted");
    QTest::newRow("pack level: ASCII digits only")
        << QStringList{"pack", "--level", arabicThree, "@/new.zip", "@/open.txt"} << 2 << QString()
        << QStringLiteral("level");
    QTest::newRow("save-description level: ASCII digits only")
        << QStringList{"save-description", "--level", arabicThree, "@/names.zip", "a.diz"} << 2
        << QString() << QStringLiteral("level");
    // A FIFO is never opened for a blocking read: each command answers at once.
    for (const auto &[command, code] :
         {std::pair{"list", 3}, {"extract", 3}, {"describe", 1}, {"save-description", 3}}) {
        QStringList args{QString::fromLatin1(command), "@/fifo.zip"};
        if (args[0] == "extract" || args[0] == "save-description")
            args << (args[0] == "extract" ? "@/out" : "out.diz");
        QTest::newRow(qPrintable(QStringLiteral("%1 of a FIFO").arg(command)))
            << args << code << QString() << QString();
    }
}

void TestArchiveCli::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    args.replaceInStrings(QStringLiteral("@/"), m_dir.path() + QLatin1Char('/'));
    const QByteArray namesBefore = testsupport::readFile(m_dir.filePath("names.zip"));
    QByteArray stdOut;
    QByteArray stdErr;
    QCOMPARE(testsupport::run(Cli, args, &stdOut, QString(), {}, &stdErr), code);
    if (!out.isNull())
        QCOMPARE(QString::fromUtf8(stdOut), out);
    QVERIFY2(QString::fromUtf8(stdErr).contains(err), stdErr.constData());
    QCOMPARE(testsupport::readFile(m_dir.filePath("names.zip")), namesBefore);
    QVERIFY(!QFileInfo::exists(m_dir.filePath("new.zip")));
}

void TestArchiveCli::killedRunLeavesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("added"); // what a finished run adds to the folder
    QTest::newRow("save") << QStringList{"save-description", "@/big.zip", "file_id.diz"}
                          << QStringList();
    QTest::newRow("pack") << QStringList{"pack", "--level", "1", "@/big.zip", "@/huge.bin"}
                          << QStringList();
    QTest::newRow("extract") << QStringList{"extract", "--overwrite", "@/big.zip", "@/out"}
                             << QStringList{"out", "out/file_id.diz", "out/old.bin"};
}

// A run killed while it writes leaves nothing that survives the next run in that folder: no
// temporary archive, no half-extracted file, no private folder of a save.
void TestArchiveCli::killedRunLeavesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, added);
    QTemporaryDir work;
    makeBigFixture(work.path());
    args.replaceInStrings(QStringLiteral("@/"), work.path() + QLatin1Char('/'));
    const QStringList before = entries(work.path());
    if (args.first() == QLatin1String("extract")) // the first run makes the target folder
        QVERIFY(QDir(work.path()).mkdir(QStringLiteral("out")));
    const QStringList known = entries(work.path());
    QProcess child;
    startCli(child, work.path(), args);
    QVERIFY(child.waitForStarted());
    const qint64 pid = child.processId();
    while (!writesNewFile(pid, work.path(), known) && !child.waitForFinished(1)) {
    }
    QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());

    QProcess next;
    startCli(next, work.path(), args);
    QVERIFY(next.waitForFinished(120000));
    QCOMPARE(next.exitCode(), 0);
    QStringList expected = before + added;
    expected.sort();
    QCOMPARE(entries(work.path()), expected);
}

// Temporaries whose process is gone are removed by the next run in their folder; those of a
// running process and the user's own files stay.
void TestArchiveCli::staleTemporariesSwept()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("tmp")));
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("out")));
    testsupport::makeZip(work.filePath(QStringLiteral("a.zip")), {{"a.txt", "a"}});
    const QString dead = QString::number(deadPid());
    const QString alive = QString::number(QCoreApplication::applicationPid());
    const QStringList stale{".quoril-" + dead + "-abcdefgh.tmp",
                            "out/.quoril-" + dead + "-12345678.tmp",
                            "tmp/quoril-save-" + dead + "-aBc123/file_id.diz"};
    const QStringList kept{".quoril-" + alive + "-abcdefgh.tmp", ".quoril-notes.tmp",
                           "quoril-" + dead + "-abcdefgh.tmp",
                           "tmp/quoril-save-" + alive + "-aBc123/file_id.diz"};
    for (const QString &file : stale + kept) {
        QVERIFY(QDir(work.path()).mkpath(QFileInfo(file).path()));
        testsupport::writeFile(work.filePath(file), "x");
    }
    QProcess save;
    startCli(save, work.path(), {"save-description", work.filePath("a.zip"), "file_id.diz"});
    QVERIFY(save.waitForFinished());
    QCOMPARE(save.exitCode(), 0);
    QProcess extract;
    startCli(extract, work.path(), {"extract", work.filePath("a.zip"), work.filePath("out")});
    QVERIFY(extract.waitForFinished());
    QCOMPARE(extract.exitCode(), 0);
    for (const QString &file : stale)
        QVERIFY2(!QFileInfo::exists(work.filePath(file)), qPrintable(file));
    QVERIFY(!QFileInfo::exists(work.filePath("tmp/quoril-save-" + dead + "-aBc123")));
    for (const QString &file : kept)
        QVERIFY2(QFileInfo::exists(work.filePath(file)), qPrintable(file));
}

// Writes old.zip with members named as DOS, Windows and newer packers name them, or prints
// every member's central record (its offset field blanked) and local header, one per line.
const char *const RawRecords = R"(
import struct, sys, zlib
path = sys.argv[2]
if sys.argv[1] == 'write':
    upath = b'\x75\x70' + struct.pack('<H', 5 + 6) + b'\x01' + struct.pack('<I', zlib.crc32(b'mu.txt')) + 'µ.txt'.encode()
    members = [('Ölfässer.txt'.encode('cp437'), 0, b''), ('café.txt'.encode('latin-1'), 0, b''),
               ('Привет.txt'.encode(), 0x800, b''), (b'mu.txt', 0, upath)]
    out, central = b'', b''
    for name, flags, extra in members:
        data = name * 3
        head = struct.pack('<HHHHHIIIHH', 20, flags, 0, 0x6000, 0x2a21, zlib.crc32(data), len(data), len(data), len(name), len(extra))
        central += b'PK\x01\x02' + struct.pack('<H', 0x031e) + head + struct.pack('<HHHII', 0, 0, 0, 0x81a40000, len(out)) + name + extra
        out += b'PK\x03\x04' + head + name + extra + data
    end = b'PK\x05\x06' + struct.pack('<HHHHIIH', 0, 0, 4, 4, len(central), len(out), 0)
    open(path, 'wb').write(out + central + end)
else:
    z = open(path, 'rb').read()
    e = z.rindex(b'PK\x05\x06')
    count, size, at = struct.unpack('<HII', z[e + 10:e + 20])
    for _ in range(count):
        n, x, c = struct.unpack('<HHH', z[at + 28:at + 34])
        record = z[at:at + 46 + n + x + c]
        offset, = struct.unpack('<I', record[42:46])
        ln, lx = struct.unpack('<HH', z[offset + 26:offset + 30])
        if record[46:46 + n] != b'file_id.diz':
            print((record[:42] + b'\0' * 4 + record[46:]).hex(), z[offset:offset + 30 + ln + lx].hex())
        at += len(record)
)";

void TestArchiveCli::saveKeepsOtherMembersRecords()
{
    const QString archive = m_dir.filePath(QStringLiteral("old.zip"));
    QCOMPARE(testsupport::python(QString::fromUtf8(RawRecords), {"write", archive}), 0);
    QByteArray before, after, text = "new description\r\n";
    QCOMPARE(testsupport::python(QString::fromUtf8(RawRecords), {"dump", archive}, &before), 0);
    QCOMPARE(testsupport::run(Cli, {"save-description", archive, "file_id.diz"}, nullptr, {}, text),
             0);
    QCOMPARE(testsupport::python(QString::fromUtf8(RawRecords), {"dump", archive}, &after), 0);
    QCOMPARE(before.count('\n'), 4);
    QCOMPARE(after, before);
    QByteArray test;
    QCOMPARE(testsupport::run(QStringLiteral("unzip"), {"-tq", archive}, &test), 0);

    // Another writer holding the archive: the save fails and leaves its work alone.
    const QByteArray saved = testsupport::readFile(archive);
    const int held = ::open(QFile::encodeName(archive).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    QByteArray err;
    QCOMPARE(testsupport::run(Cli, {"save-description", archive, "file_id.diz"}, nullptr, {},
                              "other\r\n", &err),
             3);
    ::close(held);
    QVERIFY2(err.contains("is being changed by another program"), err.constData());
    QCOMPARE(testsupport::readFile(archive), saved);
}

// Each packed file once kept its deflate buffer (64 KiB) to the end: 3,000 files took 210 MB.
void TestArchiveCli::packingManyFilesKeepsMemoryFlat()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir("src"));
    for (int i = 0; i < 3000; ++i)
        testsupport::writeFile(work.filePath(QString("src/f%1.txt").arg(i)),
                               QByteArray("some words ").repeated(300));
    QByteArray cli = Cli.toLocal8Bit(), pack("pack"), zip = work.filePath("many.zip").toLocal8Bit(),
               src = work.filePath("src").toLocal8Bit();
    char *argv[] = {cli.data(), pack.data(), zip.data(), src.data(), nullptr};
    pid_t pid = 0;
    QCOMPARE(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    int status = 0;
    struct rusage usage = {};
    QCOMPARE(wait4(pid, &status, 0, &usage), pid);
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(testsupport::memberNames(zip).size(), 3001); // the folder's entry too
    QVERIFY2(usage.ru_maxrss < 64 * 1024, qPrintable(QString::number(usage.ru_maxrss) + " KB"));
}

QTEST_GUILESS_MAIN(TestArchiveCli)
#include "tst_archivecli.moc"
