// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");

} // namespace

// What quoril-cli says when it is given something it cannot use.
class TestCliFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testsupport::makeZip(m_dir.filePath("a.zip"),
                             {{"f1.txt", "one"}, {"f2.txt", "two"}, {"f3.txt", "three"}});
    }
    void optionsAlike_data();
    void optionsAlike();
    void descriptionRefused_data();
    void descriptionRefused();
    void unwritableTargetSaidOnce();
    void damagedDirectorySaysDamaged();

private:
    QTemporaryDir m_dir;
};

void TestCliFaults::optionsAlike_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QStringList>("valued"); // "--opt=value" refused for its value
    QTest::addColumn<QString>("refusal");
    QTest::newRow("describe") << QStringList{"describe"} << QStringList{"--mode=x", "a.zip"}
                              << "unknown mode \"x\"";
    QTest::newRow("render") << QStringList{"render"} << QStringList{"--width=x", "a.zip", "b.png"}
                            << "width";
    QTest::newRow("list") << QStringList{"list"} << QStringList{"--names-codepage=x", "a.zip"}
                          << "code page \"x\"";
    QTest::newRow("save") << QStringList{"save-description"}
                          << QStringList{"--level=x", "a.zip", "b"} << "level";
    QTest::newRow("pack") << QStringList{"pack"} << QStringList{"--level=x", "a.zip", "b"}
                          << "level";
    QTest::newRow("extract") << QStringList{"extract"}
                             << QStringList{"--names-codepage=x", "a.zip", "b"} << "code page";
    QTest::newRow("tag show") << QStringList{"tag", "show"} << QStringList{"--format=x", "a.mp3"}
                              << "format \"x\"";
    QTest::newRow("tag set") << QStringList{"tag", "set"} << QStringList{"a.mp3", "--year"}
                             << "Missing value";
    QTest::newRow("catalog") << QStringList{"catalog"} << QStringList{"--format=x", "a"}
                             << "format \"x\"";
    QTest::newRow("search") << QStringList{"search"} << QStringList{"--format=csv", "q", "a"}
                            << "format \"csv\"";
}

void TestCliFaults::optionsAlike()
{
    QFETCH(QStringList, command);
    QFETCH(QStringList, valued);
    QFETCH(QString, refusal);
    const QStringList operands{"q", "/nonexistent/a.zip", "b"};
    QByteArray out, err;
    QCOMPARE(testsupport::run(Cli, command + QStringList{"--bogus"} + operands, &out, {}, {}, &err),
             2);
    QVERIFY2(err.contains(command.join(' ').toUtf8() + ": unknown option \"--bogus\""), err);
    QCOMPARE(testsupport::run(Cli, command + QStringList{"--help"}, &out), 0);
    QVERIFY2(out.startsWith("usage: quoril-cli " + command.join(' ').toUtf8()), out);
    QCOMPARE(testsupport::run(Cli, command + valued, &out, {}, {}, &err), 2);
    QVERIFY2(err.contains(refusal.toUtf8()), err);
}

void TestCliFaults::descriptionRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input"); // a shell pipe into the command
    QTest::addColumn<QString>("message");
    const QString fiveMiB = QStringLiteral("head -c 5242880 /dev/zero");
    QTest::newRow("more than 4 MiB, read no further")
        << "file_id.diz" << fiveMiB << "larger than 4194304 bytes";
    QTest::newRow("folder") << "docs/file_id.diz"
                            << "true"
                            << "must not contain a folder: docs/file_id.diz";
    QTest::newRow("root") << "/x.diz"
                          << "true"
                          << "must not contain a folder: /x.diz";
    QTest::newRow("parent") << ".."
                            << "true"
                            << "must not be \"..\"";
    QTest::newRow("empty") << ""
                           << "true"
                           << "The description file name is empty.";
}

void TestCliFaults::descriptionRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    QFETCH(QString, message);
    const QString archive = m_dir.filePath("a.zip");
    const QByteArray before = testsupport::readFile(archive);
    // The generator's own status: 141 (broken pipe) when the reader stopped before its end.
    const QString script = input + " | \"$0\" save-description \"$1\" \"$2\"; "
                                   "echo \"${PIPESTATUS[0]} ${PIPESTATUS[1]}\"";
    QByteArray out, err;
    QCOMPARE(testsupport::run("bash", {"-c", script, Cli, archive, name}, &out, {}, {}, &err), 0);
    QCOMPARE(out, input == "true" ? QByteArray("0 3\n") : QByteArray("141 3\n"));
    QVERIFY2(err.contains(message.toUtf8()) && !err.contains("quoril-save"), err);
    QCOMPARE(testsupport::readFile(archive), before);
}

void TestCliFaults::unwritableTargetSaidOnce()
{
    const QString target = m_dir.filePath("closed");
    QVERIFY(QDir().mkdir(target));
    // Root ignores permissions, but not an immutable folder.
    const bool root = ::geteuid() == 0;
    if (root && testsupport::run("chattr", {"+i", target}) != 0)
        QSKIP("the file system cannot make a folder immutable");
    if (!root)
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
    QByteArray err;
    const int code =
        testsupport::run(Cli, {"extract", m_dir.filePath("a.zip"), target}, nullptr, {}, {}, &err);
    if (root)
        testsupport::run("chattr", {"-i", target});
    QCOMPARE(code, 3);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains("closed: the target folder cannot be written"), err);
}

void TestCliFaults::damagedDirectorySaysDamaged()
{
    // A central-directory size of 0xFFFFFFFF without the Zip64 field that would hold it.
    const QString archive = m_dir.filePath("damaged.zip");
    QByteArray bytes = testsupport::readFile(m_dir.filePath("a.zip"));
    bytes.replace(bytes.indexOf("PK\x01\x02") + 24, 4, "\xff\xff\xff\xff");
    testsupport::writeFile(archive, bytes);
    for (const QStringList &args :
         {QStringList{"list", archive}, QStringList{"extract", archive, m_dir.filePath("out")},
          QStringList{"pack", archive, m_dir.filePath("a.zip")}}) {
        QByteArray err;
        QCOMPARE(testsupport::run(Cli, args, nullptr, {}, {}, &err), 3);
        QVERIFY2(err.contains("damaged archive") && !err.contains("no such file"), err);
    }
}

QTEST_GUILESS_MAIN(TestCliFaults)
#include "tst_cli_faults.moc"
