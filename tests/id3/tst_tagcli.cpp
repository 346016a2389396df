// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/id3/id3fixtures.h"
#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace id3fixtures;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");

int cli(const QStringList &args, QByteArray *out = nullptr, QByteArray *err = nullptr)
{
    QByteArray ignored;
    return testsupport::run(Cli, QStringList{QStringLiteral("tag")} + args, out, QString(), {},
                            err ? err : &ignored);
}

// An independent decoding of the last 128 bytes: title, artist, album, year, comment and the
// genre number, one per line, Latin-1 decoded.
QString pythonFields(const QString &file)
{
    QByteArray out;
    testsupport::python(
        QStringLiteral("import sys\n"
                       "r = open(sys.argv[1], 'rb').read()[-128:]\n"
                       "assert r[:3] == b'TAG'\n"
                       "for a, n in ((3, 30), (33, 30), (63, 30), (93, 4), (97, 30)):\n"
                       "    print(r[a:a + n].split(b'\\0')[0].decode('latin-1').strip())\n"
                       "print(r[127])\n"),
        {file}, &out);
    return QString::fromUtf8(out);
}

} // namespace

class TestTagCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QFileInfo::exists(Cli)); }
    void showPrintsFieldsAsUtf8();
    void setWritesAndChecksWithIndependentReader();
    void setWithoutChangeWritesNothing();
    void showAndCopyId3v2();
    void failures_data();
    void failures();
    void withoutParserModule_data();
    void withoutParserModule();
};

void TestTagCli::showPrintsFieldsAsUtf8()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.mp3"));
    QByteArray rec = record("Caf\xe9", "Art", "Alb", "1999", "", 8);
    rec.replace(97, 30, field("Note", 28, '\0') + QByteArray("\0\x0c", 2));
    writeFile(file, audio(300) + rec);
    QByteArray out;
    QCOMPARE(cli({QStringLiteral("show"), file}, &out), 0);
    QCOMPARE(out, QByteArray("Title: Caf\xc3\xa9\nArtist: Art\nAlbum: Alb\nYear: 1999\n"
                             "Comment: Note\nGenre: Jazz\nTrack: 12\n"));
}

void TestTagCli::setWritesAndChecksWithIndependentReader()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("b.mp3"));
    writeFile(file, audio(300));
    QCOMPARE(cli({QStringLiteral("set"), file, QStringLiteral("--title"), QStringLiteral("Été"),
                  QStringLiteral("--artist"), QStringLiteral("Me"), QStringLiteral("--year"),
                  QStringLiteral("2024"), QStringLiteral("--genre"), QStringLiteral("trance"),
                  QStringLiteral("--comment=x, y")}),
             0);
    QCOMPARE(readFile(file).size(), 428);
    QCOMPARE(pythonFields(file), QStringLiteral("Été\nMe\n\n2024\nx, y\n31\n"));

    // Changing one field again overwrites in place.
    QCOMPARE(cli({QStringLiteral("set"), file, QStringLiteral("--album"), QStringLiteral("LP")}),
             0);
    QCOMPARE(readFile(file).size(), 428);
    QCOMPARE(pythonFields(file), QStringLiteral("Été\nMe\nLP\n2024\nx, y\n31\n"));
}

void TestTagCli::setWithoutChangeWritesNothing()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.mp3"));
    const QByteArray original = audio(200) + record("Same", "", "", "", "", 0, '\0');
    writeFile(file, original);
    const QDateTime past(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(past, QFileDevice::FileModificationTime));
    }
    QCOMPARE(cli({QStringLiteral("set"), file, QStringLiteral("--title"), QStringLiteral("Same"),
                  QStringLiteral("--genre"), QStringLiteral("Blues")}),
             0);
    QCOMPARE(readFile(file), original);
    QCOMPARE(QFileInfo(file).lastModified().toUTC(), past);
}

void TestTagCli::showAndCopyId3v2()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("v2.mp3");
    const QString title = QString(31, u'ü');
    QVERIFY(makeId3v2(file, "eyeD3",
                      {"-Q", "--encoding", "utf16", "-t", title, "-a", "Бэнд", "-n", "7"}));
    const QMap<QString, QString> want = mutagenFrames(file);
    QByteArray out, err;
    QCOMPARE(cli({"show", "--format", "json", file}, &out), 0);
    const QJsonObject json = QJsonDocument::fromJson(out).object();
    QVERIFY(json.value("id3v1").isNull());
    const QJsonObject v2 = json.value("id3v2").toObject();
    QCOMPARE(QStringList({v2.value("title").toString(), v2.value("artist").toString()}),
             QStringList({want["TIT2"], want["TPE1"]}));
    QCOMPARE(cli({"show", file}, &out), 0);
    QVERIFY(out.contains("ID3v2 Artist: " + want["TPE1"].toUtf8() + "\n"));

    QCOMPARE(cli({"set", file, "--from-id3v2", "--year", "1999"}, nullptr, &err), 0);
    QVERIFY2(err.contains("title cut to 30") && err.contains("artist: characters outside"), err);
    QCOMPARE(pythonFields(file), title.left(30) + "\n????\n\n1999\n\n32\n");
    QCOMPARE(int(readFile(file).at(readFile(file).size() - 2)), 7);
}

void TestTagCli::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString missing = QStringLiteral("/nonexistent/x.mp3");
    QTest::newRow("show a missing file")
        << QStringList{"show", missing} << 3 << "Cannot open file " + missing;
    QTest::newRow("set a missing file")
        << QStringList{"set", missing, "--title", "t"} << 3 << "Cannot open file " + missing;
    QTest::newRow("no file") << QStringList{"show"} << 2 << "usage";
    QTest::newRow("unknown option") << QStringList{"set", "x.mp3", "--band", "b"} << 2 << "--band";
    QTest::newRow("option without value")
        << QStringList{"set", "x.mp3", "--title"} << 2 << "--title";
}

void TestTagCli::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QByteArray err;
    QCOMPARE(cli(args, nullptr, &err), exitCode);
    QVERIFY2(QString::fromUtf8(err).contains(message), err.constData());
}

void TestTagCli::withoutParserModule_data()
{
    QTest::addColumn<bool>("id3v2");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no ID3v2 tag: not needed") << false << 0 << "";
    QTest::newRow("ID3v2 tag")
        << true << 3 << ": the ID3v2 module libquorilid3v2.so is missing beside the program";
}

// A copy of the program alone in a folder: the parser module is looked for only when a file
// begins with a tag, and its absence is said in words.
void TestTagCli::withoutParserModule()
{
    QFETCH(bool, id3v2);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString alone = dir.filePath("quoril-cli"), file = dir.filePath("a.mp3");
    QVERIFY(QFile::copy(Cli, alone));
    if (id3v2)
        QVERIFY(makeId3v2(file, "mid3v2", {"-t", "T"}));
    else
        writeFile(file, audio(300));
    QByteArray err;
    QCOMPARE(testsupport::run(alone, {"tag", "show", file}, nullptr, QString(), {}, &err),
             exitCode);
    QVERIFY2(message.isEmpty() ? err.isEmpty() : QString::fromUtf8(err).contains(message), err);
}

QTEST_GUILESS_MAIN(TestTagCli)
#include "tst_tagcli.moc"
