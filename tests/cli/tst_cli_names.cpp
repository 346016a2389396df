// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");

// A folder "d\xFCr" holding "caf\xE9.zip" and "caf\xE9.mp3": Latin-1 names, not UTF-8. Made
// with Python, which keeps a name's bytes.
const char *const Fixture = R"(import os, sys, zipfile
os.chdir(sys.argv[1])
os.mkdir(b'd\xfcr')
with open(b'd\xfcr/caf\xe9.zip', 'wb') as f, zipfile.ZipFile(f, 'w') as z:
    z.writestr('FILE_ID.DIZ', b'Old text\r\n')
    z.writestr('a.txt', b'member a')
with open(b'd\xfcr/caf\xe9.mp3', 'wb') as f:
    f.write(b'\x80' * 1000)
)";

} // namespace

// quoril-cli on file and folder names that are not UTF-8, given on its command line as bytes.
class TestCliNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QFileInfo::exists(Cli)); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QCOMPARE(testsupport::python(QString::fromLatin1(Fixture), {m_dir->path()}), 0);
    }
    void cleanup() { testsupport::removeTree(m_dir->path()); }
    void commands_data();
    void commands();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCliNames::commands_data()
{
    // Each script runs in the fixture's folder with $d, $z and $m set to the raw names of the
    // folder, the archive and the MP3 file, and $e to the byte E9; stderr joins stdout.
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("list") << R"sh("$CLI" list "$z")sh" << 0 << QByteArray("  FILE_ID.DIZ\n");
    QTest::newRow("describe") << R"sh("$CLI" describe "$z")sh" << 0 << QByteArray("Old text\r\n");
    QTest::newRow("describe names the archive's own text file")
        << R"sh(python3 -c "import zipfile; f = open(b'd\xfcr/caf\xe9.zip', 'r+b'); z = zipfile.ZipFile(f, 'a'); z.writestr('café.txt', 'own'); z.close()" &&
              "$CLI" describe --mode filename --name "$z"; "$CLI" describe --mode filename "$z")sh"
        << 0 << QByteArray("caf\xc3\xa9.txt\nown");
    QTest::newRow("save-description")
        << R"sh(printf 'New text\n' | "$CLI" save-description "$z" file_id.diz &&
              python3 -c "import zipfile, sys; sys.stdout.buffer.write(zipfile.ZipFile(open(b'd\xfcr/caf\xe9.zip', 'rb')).read('FILE_ID.DIZ'))")sh"
        << 0 << QByteArray("New text\r\n");
    QTest::newRow("extract into a folder of such a name")
        << R"sh("$CLI" extract "$z" "$d/$e" && cat "$d/$e/a.txt")sh" << 0 << QByteArray("member a");
    QTest::newRow("tag set and show")
        << R"sh("$CLI" tag set "$m" --title Hello && "$CLI" tag show "$m")sh" << 0
        << QByteArray("Title: Hello\n");
    QTest::newRow("pack")
        << R"sh(cd "$d" && "$CLI" pack "new$e.zip" "caf$e.mp3" && "$CLI" list "new$e.zip")sh" << 0
        << QByteArray("  1000  ");
    QTest::newRow("catalog of such a folder reads its files")
        << R"sh("$CLI" catalog --no-cache "$d")sh" << 0 << QByteArray("Old text");
    QTest::newRow("messages show the name as read")
        << R"sh("$CLI" list "$d/none$e.zip")sh" << 3 << QByteArray("none\xc3\xa9.zip");
}

void TestCliNames::commands()
{
    QFETCH(QString, script);
    QFETCH(int, code);
    QFETCH(QByteArray, output);
    const QString prelude =
        QStringLiteral("cd \"$1\" && CLI=\"$2\" && d=$(printf 'd\\374r') && e=$(printf '\\351') && "
                       "z=\"$d/caf$e.zip\" && m=\"$d/caf$e.mp3\" && exec 2>&1\n");
    QByteArray out;
    const int rc = testsupport::run(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), prelude + script, QStringLiteral("sh"), m_dir->path(), Cli}, &out);
    QVERIFY2(out.contains(output), out.constData());
    QCOMPARE(rc, code);
}

QTEST_GUILESS_MAIN(TestCliNames)
#include "tst_cli_names.moc"
