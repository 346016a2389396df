// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findresults.h"
#include "find/findsession.h"
#include "find/tipsource.h"
#include "tests/find/findfixtures.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

// The find window's logic over a real index: rows for queries and scopes, rows delivered while
// indexing runs, files changed or gone, cancel; and the tooltip texts.
class TestFindSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rowsForQueries_data();
    void rowsForQueries();
    void badQueryIsReportedAndClearsRows();
    void missingFolderIsReported();
    void rowsArriveWhileIndexing();
    void changedAndVanishedFilesOnReopen();
    void newFolderClearsTheRowsAtOnce();
    void cancelEndsTheRunAndKeepsTheIndexUsable();
    void tipTexts_data();
    void tipTexts();
    void tipSourceReadsChangedFilesAgain();

private:
    // Runs a query over the collection until indexing is over and the ranked answer is in.
    void answer(const QString &folder, bool recursive, const QString &query)
    {
        session->setScope(TFilePath::fromPath(folder), recursive, true);
        session->setQueryText(query);
        QTRY_VERIFY_WITH_TIMEOUT(!session->isIndexing() && session->isAnswered(), 20000);
    }
    QStringList fileNames() const
    {
        QStringList names;
        for (int row = 0; row < session->results()->rowCount(); ++row)
            names << session->results()->index(row, TFindResults::FileColumn).data().toString();
        return names;
    }
    QString cell(int row, int column) const
    {
        return session->results()->index(row, column).data().toString();
    }

    QTemporaryDir master; // the collection, made once
    QTemporaryDir *dir = nullptr;
    QString root, indexFile;
    TFindSession *session = nullptr;
};

void TestFindSession::initTestCase()
{
    QVERIFY(loadEngine());
    QVERIFY(findfixtures::makeCollection(master.filePath(QStringLiteral("games"))));
}

void TestFindSession::init()
{
    dir = new QTemporaryDir;
    root = dir->filePath(QStringLiteral("games"));
    indexFile = dir->filePath(QStringLiteral("index.sqlite"));
    findfixtures::copyTree(master.filePath(QStringLiteral("games")), root);
    session = new TFindSession(indexFile);
    session->setDebounce(0);
}

void TestFindSession::cleanup()
{
    delete session;
    delete dir;
}

void TestFindSession::rowsForQueries_data()
{
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("files"); // sorted
    QTest::addColumn<QString>("firstLine"); // of the first row, trimmed
    QTest::newRow("word, every level")
        << true << "space" << QStringList{"ALPHA.ZIP", "GAMMA.ZIP"} << "";
    QTest::newRow("word, one level")
        << false << "SPACE" << QStringList{"ALPHA.ZIP"} << "Space shooter deluxe";
    QTest::newRow("accent folded")
        << true << "creme" << QStringList{"ALPHA.ZIP"} << QString::fromUtf8("by Crème Soft");
    QTest::newRow("words in any order") << true << "soft space" << QStringList{"ALPHA.ZIP"} << "";
    QTest::newRow("phrase") << true << "\"puzzle game\"" << QStringList{"beta.zip"}
                            << "A puzzle game";
    QTest::newRow("phrase out of order") << true << "\"game puzzle\"" << QStringList{} << "";
    QTest::newRow("prefix") << true << "trad*" << QStringList{"GAMMA.ZIP"} << "Space trader";
    QTest::newRow("tag field") << true << "nova" << QStringList{"song.mp3"} << "Nova Lane";
    QTest::newRow("file name") << true << "gamma" << QStringList{"GAMMA.ZIP"} << "";
    QTest::newRow("no match") << true << "zebra" << QStringList{} << "";
    QTest::newRow("word left out") << true << "space -trader" << QStringList{"ALPHA.ZIP"} << "";
    QTest::newRow("phrase left out")
        << true << "space -\"space trader\"" << QStringList{"ALPHA.ZIP"} << "";
    QTest::newRow("only a word left out") << true << "-puzzle" << QStringList{} << "";
}

void TestFindSession::rowsForQueries()
{
    QFETCH(bool, recursive);
    QFETCH(QString, query);
    QFETCH(QStringList, files);
    QFETCH(QString, firstLine);
    answer(root, recursive, query);
    QStringList names = fileNames();
    names.sort();
    QCOMPARE(names, files);
    if (!firstLine.isEmpty())
        QCOMPARE(cell(0, TFindResults::LineColumn).trimmed(), firstLine);
    if (!files.isEmpty()) {
        const QString folder = cell(0, TFindResults::FolderColumn);
        QVERIFY2(folder == root || folder == root + "/sub", qPrintable(folder));
    }
}

void TestFindSession::badQueryIsReportedAndClearsRows()
{
    answer(root, true, QStringLiteral("space"));
    QCOMPARE(session->results()->rowCount(), 2);
    session->setQueryText(QStringLiteral("\"space"));
    QTRY_VERIFY(session->isAnswered());
    QVERIFY(!session->queryError().isEmpty());
    QCOMPARE(session->results()->rowCount(), 0);
    // Mended, the query runs again and the error goes.
    session->setQueryText(QStringLiteral("\"space trader\""));
    QTRY_VERIFY(session->isAnswered());
    QVERIFY(session->queryError().isEmpty());
    QCOMPARE(fileNames(), QStringList{"GAMMA.ZIP"});
}

void TestFindSession::missingFolderIsReported()
{
    QSignalSpy problem(session, &TFindSession::problem);
    answer(root + "/gone", true, QStringLiteral("space"));
    QCOMPARE(problem.size(), 1);
    QVERIFY2(problem.at(0).at(0).toString().contains("no such file or folder"),
             qPrintable(problem.at(0).at(0).toString()));
    QCOMPARE(session->results()->rowCount(), 0);
}

void TestFindSession::rowsArriveWhileIndexing()
{
    // The query is known before the folder was ever indexed: rows appear while the indexing
    // runs, not only when it is over.
    session->setQueryText(QStringLiteral("space"));
    session->flushQuery(); // else the indexing thread's first entries may come before it
    bool rowWhileIndexing = false;
    // Rows come one by one from the files read, or all at once when the query thread's answer
    // already finds some of them committed.
    const auto seen = [&] {
        rowWhileIndexing =
            rowWhileIndexing || (session->isIndexing() && session->results()->rowCount() > 0);
    };
    connect(session->results(), &QAbstractItemModel::rowsInserted, this, seen);
    connect(session->results(), &QAbstractItemModel::modelReset, this, seen);
    session->setScope(TFilePath::fromPath(root), true);
    QTRY_VERIFY_WITH_TIMEOUT(!session->isIndexing() && session->isAnswered(), 20000);
    QVERIFY(rowWhileIndexing);
    QCOMPARE(session->results()->rowCount(), 2);
}

void TestFindSession::changedAndVanishedFilesOnReopen()
{
    answer(root, true, QStringLiteral("space"));
    QCOMPARE(session->results()->rowCount(), 2);
    QFile::remove(root + "/ALPHA.ZIP");
    QFile::remove(root + "/beta.zip");
    makeZip(root + "/beta.zip",
            {{QStringLiteral("readme.txt"), "Space puzzles, a second edition\r\n"}});
    answer(root, true, QStringLiteral("space"));
    QStringList names = fileNames();
    names.sort();
    QCOMPARE(names, (QStringList{"GAMMA.ZIP", "beta.zip"}));
}

void TestFindSession::newFolderClearsTheRowsAtOnce()
{
    answer(root, true, QStringLiteral("space"));
    QCOMPARE(session->results()->rowCount(), 2);
    session->setScope(TFilePath::fromPath(root + "/sub"), true);
    QCOMPARE(session->results()->rowCount(), 0);
}

void TestFindSession::cancelEndsTheRunAndKeepsTheIndexUsable()
{
    QCOMPARE(
        python(QStringLiteral("import sys, zipfile\n"
                              "for i in range(150):\n"
                              "    with zipfile.ZipFile(f'{sys.argv[1]}/many{i}.zip', 'w') as z:\n"
                              "        z.writestr('FILE_ID.DIZ', f'Space filler {i}')\n"),
               {root + "/sub"}),
        0);
    QSignalSpy ended(session, &TFindSession::indexingChanged);
    session->setQueryText(QStringLiteral("filler"));
    session->setScope(TFilePath::fromPath(root), true);
    session->cancel();
    QTRY_VERIFY_WITH_TIMEOUT(!session->isIndexing(), 20000);
    QCOMPARE(ended.last().at(0).toBool(), false);
    QVERIFY(session->isIncomplete());
    // A later search, in the same folder, reads what the cancelled run left.
    session->setQueryText(QStringLiteral("filler space"));
    QTRY_VERIFY_WITH_TIMEOUT(!session->isIndexing() && session->isAnswered(), 20000);
    QCOMPARE(session->results()->rowCount(), 150);
    QVERIFY(!session->isIncomplete());
}

void TestFindSession::tipTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("description"); // archives; for MP3 files "artist|title"
    QTest::addColumn<QString>("tip");
    const int zip = int(catalog::Kind::Zip), mp3 = int(catalog::Kind::Mp3);
    QTest::newRow("short description") << zip << "one\ntwo"
                                       << "one\ntwo";
    QTest::newRow("blank lines at the top and trailing blanks")
        << zip << "\n  \nFIRST   \nsecond\n\n"
        << "FIRST\nsecond";
    QTest::newRow("more than eight lines")
        << zip << "1\n2\n3\n4\n5\n6\n7\n8\n9\n10" << QString::fromUtf8("1\n2\n3\n4\n5\n6\n7\n8\n…");
    QTest::newRow("no description") << zip << QString() << "";
    QTest::newRow("artist and title")
        << mp3 << "Nova Lane|Orbit Song" << QString::fromUtf8("Nova Lane – Orbit Song");
    QTest::newRow("title only") << mp3 << "|Orbit Song"
                                << "Orbit Song";
    QTest::newRow("no tag") << mp3 << "|"
                            << "";
    QTest::newRow("only an ID3v2 tag")
        << mp3 << "||Nova Lane|Orbit" << QString::fromUtf8("Nova Lane – Orbit");
}

void TestFindSession::tipTexts()
{
    QFETCH(int, kind);
    QFETCH(QString, description);
    QFETCH(QString, tip);
    catalog::Entry entry;
    entry.kind = catalog::Kind(kind);
    if (entry.kind == catalog::Kind::Mp3) {
        entry.artist = description.section(u'|', 0, 0);
        entry.title = description.section(u'|', 1, 1);
        entry.setDetail("id3v2.artist", description.section(u'|', 2, 2));
        entry.setDetail("id3v2.title", description.section(u'|', 3, 3));
    } else if (!description.isNull()) {
        entry.description = description;
    }
    QCOMPARE(tipText(entry), tip);
}

void TestFindSession::tipSourceReadsChangedFilesAgain()
{
    TTipSource source(indexFile);
    const auto beta = TFilePath::fromPath(root + "/beta.zip"),
               song = TFilePath::fromPath(root + "/song.mp3");
    QSignalSpy ready(&source, &TTipSource::ready);
    QVERIFY(!source.text(beta));
    source.request({beta, song});
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 2, 20000);
    QCOMPARE(*source.text(beta), "A puzzle game");
    QCOMPARE(*source.text(song), QString::fromUtf8("Nova Lane – Orbit Song"));
    // A description saved since is what the next tooltip shows.
    QFile::remove(beta.path());
    makeZip(beta.path(),
            {{QStringLiteral("readme.txt"), "A puzzle game, saved again\r\nwith more\r\n"}});
    source.request({beta});
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 3, 20000);
    QCOMPARE(*source.text(beta), "A puzzle game, saved again\nwith more");
}

QTEST_GUILESS_MAIN(TestFindSession)
#include "tst_findsession.moc"
