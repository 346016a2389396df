#include "tests/support/testsupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// quoril-cli's archive commands: what a shell user sees (lines, messages, exit codes).

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");

} // namespace

class TestArchiveCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();

private:
    QTemporaryDir m_dir;
};

// names.zip: a member whose name holds a line break and a tab, and a plain one; enc.zip: an
// encrypted member (made by Info-ZIP zip) beside a plain one.
void TestArchiveCli::initTestCase()
{
    QVERIFY(QFileInfo::exists(Cli));
    QCOMPARE(testsupport::python(
                 QStringLiteral("import sys, zipfile\n"
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

QTEST_GUILESS_MAIN(TestArchiveCli)
#include "tst_archivecli.moc"
