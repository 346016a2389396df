// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using testsupport::run;
class TestCliFaults : public QObject
{
    Q_OBJECT
    const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");
    QTemporaryDir m_dir;
    QString zip() const { return m_dir.filePath("a.zip"); }
private slots:
    void initTestCase() { testsupport::makeZip(zip(), {{"f1", "1"}, {"f2", "2"}, {"f3", "3"}}); }
    void optionsAlike_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("valued"); // "--opt=value" refused for its value
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char *command, const char *valued, const char *refusal) {
            QTest::newRow(command) << QString::fromLatin1(command).split(' ')
                                   << QString::fromLatin1(valued).split(' ') << refusal;
        };
        row("describe", "--mode=x a.zip", "unknown mode \"x\"");
        row("render", "--width=x a.zip b.png", "width");
        row("list", "--names-codepage=x a.zip", "code page \"x\"");
        row("save-description", "--level=x a.zip b", "level");
        row("pack", "--level=x a.zip b", "level");
        row("extract", "--names-codepage=x a.zip b", "code page");
        row("tag show", "--format=x a.mp3", "format \"x\"");
        row("tag set", "a.mp3 --year", "Missing value");
        row("catalog", "--format=x a", "format \"x\"");
        row("search", "--format=csv q a", "format \"csv\"");
    }
    void optionsAlike()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, valued);
        QFETCH(QString, refusal);
        const QByteArray name = command.join(' ').toUtf8();
        QByteArray out, err;
        QCOMPARE(run(Cli, command + QStringList{"--bogus", "q", "a", "b"}, &out, {}, {}, &err), 2);
        QVERIFY2(err.contains(name + ": unknown option \"--bogus\""), err);
        QCOMPARE(run(Cli, command + QStringList{"--help"}, &out), 0);
        QVERIFY2(out.startsWith("usage: quoril-cli " + name), out);
        QCOMPARE(run(Cli, command + valued, &out, {}, {}, &err), 2);
        QVERIFY2(err.contains(refusal.toUtf8()), err);
    }
    void descriptionRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("input"); // a shell pipe into the command
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const char *input, const char *message) {
            QTest::newRow(*name ? name : "empty") << QString(name) << QString(input) << message;
        };
        row("file_id.diz", "head -c 5242880 /dev/zero", "larger than 4194304 bytes");
        row("docs/file_id.diz", "true", "must not contain a folder: docs/file_id.diz");
        row("..", "true", "must not be \"..\"");
        row("", "true", "The description file name is empty.");
    }
    void descriptionRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, input);
        QFETCH(QString, message);
        const QByteArray before = testsupport::readFile(zip());
        // The generator's own status: 141 (broken pipe) when the reader stopped before its end.
        const QString script = input + " | \"$0\" save-description \"$1\" \"$2\"; "
                                       "echo \"${PIPESTATUS[0]} ${PIPESTATUS[1]}\"";
        QByteArray out, err;
        QCOMPARE(run("bash", {"-c", script, Cli, zip(), name}, &out, {}, {}, &err), 0);
        QCOMPARE(out, input == "true" ? QByteArray("0 3\n") : QByteArray("141 3\n"));
        QVERIFY2(err.contains(message.toUtf8()) && !err.contains("quoril-save"), err);
        QCOMPARE(testsupport::readFile(zip()), before);
    }
    void unwritableTargetSaidOnce()
    {
        const QString target = m_dir.filePath("closed");
        const bool root = ::geteuid() == 0;
        if (!QDir().mkdir(target) ||
            (root ? run("chattr", {"+i", target}) != 0 : !QFile::setPermissions(target, {})))
            QSKIP("the folder cannot be closed for writing here");
        QByteArray err;
        const int code = run(Cli, {"extract", zip(), target}, nullptr, {}, {}, &err);
        if (root)
            run("chattr", {"-i", target});
        QCOMPARE(code, 3);
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.contains("closed: the target folder cannot be written"), err);
    }
    void damagedDirectorySaysDamaged()
    {
        const QString archive = m_dir.filePath("damaged.zip");
        QByteArray bytes = testsupport::readFile(zip());
        testsupport::writeFile(archive, bytes.replace(bytes.indexOf("PK\1\2") + 24, 4,
                                                      "\xff\xff\xff\xff") /* size, no Zip64 */);
        for (const QStringList &args : {QStringList{"list", archive},
                                        {"extract", archive, archive + ".d"},
                                        {"pack", archive, zip()}}) {
            QByteArray err;
            QCOMPARE(run(Cli, args, nullptr, {}, {}, &err), 3);
            QVERIFY2(err.contains("damaged archive") && !err.contains("no such file"), err);
        }
    }
};
QTEST_GUILESS_MAIN(TestCliFaults)
#include "tst_cli_faults.moc"
