// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/catalog.h"
#include "catalog/store.h"
#include "description/cp437.h"
#include "tests/id3/id3fixtures.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <mutex>
#include <thread>

#include <unistd.h>

using testsupport::python;

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");

// Builds a collection with Python's zipfile under `root`: archives that each step of Auto select
// finds, one without a description, damaged ones, MP3 files with and without a tag, a subfolder,
// and `fillers` further archives of 200 members each. quoril2k.ext in `root` names
// "<filename>.nfo".
void makeCollection(const QString &root, int fillers = 0)
{
    const int rc = python(QStringLiteral(R"(
import os, sys, zipfile
root, fillers = sys.argv[1], int(sys.argv[2])
os.makedirs(os.path.join(root, 'sub'), exist_ok=True)
def z(name, members, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(os.path.join(root, name), 'w', method) as a:
        for n, data in members:
            a.writestr(n, data)
z('GAME.ZIP', [('game.exe', b'MZ' * 100),
               ('FILE_ID.DIZ', b'\xc9\xcd\xbb Caf\x82 Quest\r\n\xba dragons \xba\r\n\r\n')])
z('readme_only.zip', [('readme.txt', b'A puzzle of Stars\n')], zipfile.ZIP_STORED)
z('NAMED.zip', [('x.bin', b'1'), ('NAMED.txt', b'named text')])
z('custom.zip', [('custom.nfo', b'released by the Group\r\n')])
z('plain.zip', [('a.txt', b'no description here')])
z('sub/deep.zip', [('file_id.diz', b'Deep \x84pfel\r\nsecond line')])
good = open(os.path.join(root, 'GAME.ZIP'), 'rb').read()
open(os.path.join(root, 'damaged.zip'), 'wb').write(good[:len(good) // 2])
open(os.path.join(root, 'notzip.zip'), 'wb').write(b'just text\n')
def tag(title, artist, album, year, comment, track, genre):
    f = lambda s, n: s.encode('latin-1').ljust(n, b'\0')
    c = f(comment, 28) + b'\0' + bytes([track]) if track else f(comment, 30)
    return b'TAG' + f(title, 30) + f(artist, 30) + f(album, 30) + f(year, 4) + c + bytes([genre])
open(os.path.join(root, 'song.mp3'), 'wb').write(b'\xff\xfb' * 500 + tag('Caf\xe9 Song', 'The Band  ', 'Live', '1999', 'great', 7, 17))
open(os.path.join(root, 'sub', 'raw.MP3'), 'wb').write(b'\xff\xfb' * 500)
open(os.path.join(root, 'quoril2k.ext'), 'w').write('<filename>.nfo\n')
for i in range(fillers):
    with zipfile.ZipFile(os.path.join(root, 'sub', 'fill%04d.zip' % i), 'w', zipfile.ZIP_DEFLATED) as a:
        for k in range(200):
            a.writestr('data/f%03d' % k, 'member %d' % k)
        a.writestr('FILE_ID.DIZ', 'filler %d\r\n' % i)
)"),
                          {root, QString::number(fillers)});
    QCOMPARE(rc, 0);
}

struct Run
{
    int code = -1;
    QByteArray out, err;
};

Run cli(const QStringList &args, const QString &cwd = QString())
{
    Run r;
    r.code = testsupport::run(Cli, args, &r.out, cwd, {}, &r.err);
    return r;
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError)
            qWarning("not JSON: %s", line.constData());
        objects << doc.object();
    }
    return objects;
}

QString integrityCheck(const QString &file)
{
    QByteArray out;
    python(QStringLiteral("import sqlite3, sys\n"
                          "c = sqlite3.connect(sys.argv[1])\n"
                          "print(c.execute('PRAGMA integrity_check').fetchone()[0])\n"),
           {file}, &out);
    return QString::fromUtf8(out).trimmed();
}

catalog::Entry zipEntry(const QByteArray &path, const QString &description)
{
    catalog::Entry e;
    e.path = path;
    e.members = 1;
    e.member = QStringLiteral("file_id.diz");
    e.description = description;
    return e;
}

} // namespace

class TestCatalog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_cache;
    QString indexFile() const { return m_cache.filePath(QStringLiteral("quoril/index.sqlite")); }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(Cli));
        qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
    }
    void init() { QDir(m_cache.path()).removeRecursively(), QDir().mkpath(m_cache.path()); }

    void catalogAgreesWithDescribeAndTagShow();
    void formatsAndNoCache();
    void changedFilesOnlyAreReadAgain();
    void queryRules_data();
    void queryRules();
    void badQueries_data();
    void badQueries();
    void searchCommand();
    void cancelKeepsWhatWasRead();
    void killedRunLeavesUsableIndex_data();
    void killedRunLeavesUsableIndex();
    void damagedOrForeignIndexIsRebuilt_data();
    void damagedOrForeignIndexIsRebuilt();
    void damagedEntriesAreReadAgain_data();
    void damagedEntriesAreReadAgain();
    void longDescriptionsAreCut();
    void processesShareTheIndex();
    void threadsOpenANewIndexTogether();
    void pathBytesKeptExactly();
};

void TestCatalog::catalogAgreesWithDescribeAndTagShow()
{
    QTemporaryDir dir;
    makeCollection(dir.path());
    const Run run = cli({"catalog", "--recursive", "--format", "json", "."}, dir.path());
    QCOMPARE(run.code, 0);
    const QList<QJsonObject> objects = jsonLines(run.out);
    QCOMPARE(objects.size(), 10);
    QStringList paths;
    for (const QJsonObject &o : objects) {
        const QString path = o.value("path").toString();
        paths << path;
        QVERIFY2(path.startsWith(dir.path() + '/'), qPrintable(path));
        if (o.value("kind") == "zip") {
            const Run describe = cli({"describe", path}, dir.path());
            const Run name = cli({"describe", "--name", path}, dir.path());
            if (describe.code == 0) {
                QString text = cp437::decode(describe.out);
                if (text.endsWith('\n'))
                    text.chop(1);
                QCOMPARE(o.value("description").toString(), text);
                QCOMPARE(o.value("member").toString() + '\n', QString::fromUtf8(name.out));
            } else {
                QVERIFY2(o.value("description").isNull(), qPrintable(path));
                QVERIFY(o.value("member").isNull());
            }
            const bool broken = path.endsWith("damaged.zip") || path.endsWith("notzip.zip");
            QCOMPARE(o.value("error").isNull(), !broken);
            QCOMPARE(o.value("members").isNull(), broken);
        } else {
            const Run tag = cli({"tag", "show", path});
            QString shown;
            for (const char *field : {"title", "artist", "album", "year", "comment", "genre"}) {
                const QString label = QString::fromLatin1(field);
                shown += label.left(1).toUpper() + label.mid(1) + ": " + o.value(label).toString() +
                         '\n';
            }
            if (!o.value("track").isNull())
                shown += "Track: " + QString::number(o.value("track").toInt()) + '\n';
            // An untagged file: no tag in the index, the pane's blank record in tag show.
            if (o.value("genre").isNull())
                shown.replace("Genre: \n", "Genre: Classical\n(the file has no ID3v1 tag)\n");
            QCOMPARE(shown, QString::fromUtf8(tag.out));
        }
    }
    QStringList sorted = paths;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    QCOMPARE(paths, sorted);
    // Every step of Auto select was met, the custom list of the current folder included.
    QCOMPARE(objects.at(0).value("description").toString(), "╔═╗ Café Quest\n║ dragons ║\n");
    QCOMPARE(run.out.count("\"member\": null"), 3); // plain, damaged, notzip
}

void TestCatalog::formatsAndNoCache()
{
    QTemporaryDir dir;
    makeCollection(dir.path());
    const Run csv = cli({"catalog", "--no-cache", "--format", "csv", dir.path()});
    QCOMPARE(csv.code, 0);
    QVERIFY(!QFile::exists(indexFile()));
    QByteArray rows;
    QFile input(dir.filePath("out.csv"));
    QVERIFY(input.open(QIODevice::WriteOnly));
    input.write(csv.out);
    input.close();
    QCOMPARE(python("import csv, sys\n"
                    "rows = list(csv.DictReader(open(sys.argv[1], newline='')))\n"
                    "print(len(rows), repr(rows[0]['description']), rows[0]['members'],"
                    " [r['track'] for r in rows if r['kind'] == 'mp3'])\n",
                    {dir.filePath("out.csv")}, &rows),
             0);
    QCOMPARE(rows, "8 '╔═╗ Café Quest\\n║ dragons ║\\n' 2 ['7']\n");

    const Run text = cli({"catalog", dir.filePath("GAME.ZIP"), dir.filePath("damaged.zip")});
    QCOMPARE(text.code, 0);
    const QList<QByteArray> lines = text.out.split('\n');
    QVERIFY(lines.at(0).startsWith(dir.filePath("GAME.ZIP").toUtf8() + "  "));
    QCOMPARE(lines.at(1), QByteArray("    ╔═╗ Café Quest"));
    QVERIFY(lines.at(5).startsWith("    (cannot be read: "));
    QVERIFY(QFile::exists(indexFile()));

    const Run missing = cli({"catalog", dir.filePath("GAME.ZIP"), dir.filePath("gone.zip")});
    QCOMPARE(missing.code, 3);
    QVERIFY(missing.out.startsWith(dir.filePath("GAME.ZIP").toUtf8()));
    QCOMPARE(cli({"catalog", "--format", "xml", dir.path()}).code, 2);
}

void TestCatalog::changedFilesOnlyAreReadAgain()
{
    QTemporaryDir dir;
    testsupport::makeZip(dir.filePath("a.zip"), {{"file_id.diz", "first text"}}, false);
    testsupport::makeZip(dir.filePath("b.zip"), {{"file_id.diz", "bee"}});
    auto descriptions = [&] {
        QStringList list;
        for (const QJsonObject &o : jsonLines(cli({"catalog", "--format", "json", dir.path()}).out))
            list << o.value("path").toString().section('/', -1) + '=' +
                        o.value("description").toString();
        return list;
    };
    QCOMPARE(descriptions(), QStringList({"a.zip=first text", "b.zip=bee"}));

    // Rewritten in place with its size and time put back: the change time tells.
    QCOMPARE(
        python("import io, os, sys, zipfile\n"
               "p = sys.argv[1]; st = os.stat(p); data = io.BytesIO()\n"
               "with zipfile.ZipFile(data, 'w') as z: z.writestr('file_id.diz', 'other text')\n"
               "open(p, 'r+b').write(data.getvalue())\n"
               "os.utime(p, ns=(st.st_atime_ns, st.st_mtime_ns))\n",
               {dir.filePath("a.zip")}),
        0);
    QCOMPARE(descriptions(), QStringList({"a.zip=other text", "b.zip=bee"}));

    // A new time, a new file and a vanished one are all brought up to date.
    QCOMPARE(python("import os, sys; os.utime(sys.argv[1], (1, 1))", {dir.filePath("a.zip")}), 0);
    QFile::remove(dir.filePath("b.zip"));
    testsupport::makeZip(dir.filePath("c.zip"), {{"readme.txt", "sea"}});
    QCOMPARE(descriptions(), QStringList({"a.zip=other text", "c.zip=sea"}));

    // Another custom list asks Auto select other names: archives are read again.
    testsupport::makeZip(dir.filePath("d.zip"), {{"d.nfo", "custom"}});
    QCOMPARE(descriptions().last(), "d.zip=");
    testsupport::writeFile(dir.filePath("quoril2k.ext"), "<filename>.nfo\n");
    const Run withList = cli({"catalog", "--format", "json", "d.zip"}, dir.path());
    QCOMPARE(jsonLines(withList.out).value(0).value("description").toString(), "custom");
}

void TestCatalog::queryRules_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("match");
    QTest::addColumn<QString>("line");
    const QString text = QStringLiteral("Title screen\nThe Café Dragons return\nby Zoë & friends");
    QTest::newRow("word any case") << "DRAGONS" << text << true << "The Café Dragons return";
    QTest::newRow("accents ignored both ways")
        << "cafe zoe" << text << true << "The Café Dragons return";
    QTest::newRow("accented query") << "zoë" << text << true << "by Zoë & friends";
    QTest::newRow("words in any order")
        << "return dragons" << text << true << "The Café Dragons return";
    QTest::newRow("every word must match") << "dragons unicorn" << text << false << "";
    QTest::newRow("prefix") << "drag*" << text << true << "The Café Dragons return";
    QTest::newRow("no prefix, no partial word") << "drag" << text << false << "";
    QTest::newRow("phrase") << "\"cafe dragons\"" << text << true << "The Café Dragons return";
    QTest::newRow("phrase in other order") << "\"dragons cafe\"" << text << false << "";
    QTest::newRow("phrase prefix")
        << "\"the cafe dra\"*" << text << true << "The Café Dragons return";
    QTest::newRow("operator words are words") << "by AND" << text << false << "";
    QTest::newRow("file name matches") << "quest" << text << true << "QUEST.ZIP";
    QTest::newRow("punctuation splits") << "title-screen" << text << true << "Title screen";
}

void TestCatalog::queryRules()
{
    QFETCH(QString, query);
    QFETCH(QString, description);
    QFETCH(bool, match);
    QFETCH(QString, line);
    const catalog::Query q = catalog::Query::parse(query);
    QVERIFY2(q.isValid(), qPrintable(q.error()));
    const catalog::Entry entry = zipEntry("/c/QUEST.ZIP", description);
    QCOMPARE(q.matches(entry), match);
    QCOMPARE(q.firstMatchingLine(entry), line);

    // The full-text index agrees with the rules applied to the entry alone.
    catalog::Index index(QStringLiteral(":memory:"));
    index.store().begin();
    index.store().add(entry, 0);
    index.store().add(zipEntry("/c/other.zip", "nothing alike"), 0);
    index.store().commit();
    const QList<catalog::Hit> hits = catalog::search(index, q, {{"/c", false}});
    QCOMPARE(hits.size(), match ? 1 : 0);
    if (match)
        QCOMPARE(hits.first().match, line);
}

void TestCatalog::badQueries_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("empty") << "";
    QTest::newRow("punctuation only") << "! ?";
    QTest::newRow("open phrase") << "\"two words";
    QTest::newRow("lone star") << "*";
    QTest::newRow("star inside") << "dr*gon";
    QTest::newRow("empty phrase") << "\"\" word";
}

void TestCatalog::badQueries()
{
    QFETCH(QString, query);
    QVERIFY(!catalog::Query::parse(query).isValid());
    const Run run = cli({"search", query, m_cache.path()});
    QCOMPARE(run.code, 2);
    QVERIFY(run.err.contains("bad query"));
}

void TestCatalog::searchCommand()
{
    QTemporaryDir dir;
    makeCollection(dir.path());
    testsupport::makeZip(dir.filePath("sub/long.zip"),
                         {{"file_id.diz", "one dragons among many other words of a long text "
                                          "about everything and nothing at all, at length"}});
    const Run best = cli({"search", "--recursive", "dragons", dir.path()});
    QCOMPARE(best.code, 0);
    QCOMPARE(best.out, dir.filePath("GAME.ZIP").toUtf8() + "\t║ dragons ║\n" +
                           dir.filePath("sub/long.zip").toUtf8() +
                           "\tone dragons among many "
                           "other words of a long text about everything and nothing at all, at "
                           "length\n");
    // One level only: the subfolder is not searched.
    QCOMPARE(cli({"search", "dragons", dir.path()}).out.count('\n'), 1);
    const Run tag = cli({"search", "--format", "json", "cafe band", dir.path()});
    QCOMPARE(tag.code, 0);
    const QJsonObject hit = jsonLines(tag.out).value(0);
    QCOMPARE(hit.value("kind").toString(), "mp3");
    QCOMPARE(hit.value("match").toString(), "Café Song");
    QVERIFY(id3fixtures::makeId3v2(dir.filePath("v2.mp3"), "mid3v2", {"-a", "Zephyr Quill"}));
    QCOMPARE(cli({"search", "zephyr", dir.path()}).out,
             dir.filePath("v2.mp3").toUtf8() + "\tZephyr Quill\n");
    QCOMPARE(cli({"search", "unicorns", dir.path()}).code, 1);
    QCOMPARE(cli({"search", "--recursive", "classical", dir.path()}).code, 1); // untagged MP3

    // Folders whose times are as the index saw them are not read; any change shows at once.
    QCOMPARE(python("import os, sys; [os.utime(d, (1e9, 1e9)) for d in sys.argv[1:]]",
                    {dir.path(), dir.filePath("sub")}),
             0);
    QCOMPARE(cli({"search", "--recursive", "dragons", dir.path()}).out, best.out);
    QFile::remove(dir.filePath("GAME.ZIP"));
    testsupport::makeZip(dir.filePath("sub/new.zip"), {{"file_id.diz", "dragons anew"}});
    const QList<QByteArray> now =
        cli({"search", "--recursive", "dragons", dir.path()}).out.split('\n');
    QCOMPARE(now.size(), 3);
    QVERIFY(now.at(0).startsWith(dir.filePath("sub/new.zip").toUtf8()));
    QCOMPARE(cli({"search", "dragons", dir.filePath("missing")}).code, 3);
}

void TestCatalog::cancelKeepsWhatWasRead()
{
    QTemporaryDir dir;
    makeCollection(dir.path(), 30);
    QVERIFY(testsupport::loadEngine());
    const QByteArray root = QFile::encodeName(dir.path());
    {
        // Cancelled as soon as the files are counted: none is read.
        catalog::Index index(indexFile());
        catalog::Indexer early(index, {true, {}, 2});
        early.onProgress = [&](const catalog::Progress &) { early.cancel(); };
        const catalog::IndexSummary summary = early.run({root});
        QVERIFY(summary.cancelled && summary.found > 30);
        QCOMPARE(summary.read, 0);
    }
    {
        catalog::Index index(indexFile());
        catalog::Indexer indexer(index, {true, {}, 2});
        int seen = 0;
        indexer.onEntry = [&](const catalog::Entry &) {
            if (++seen == 5)
                indexer.cancel();
        };
        const catalog::IndexSummary summary = indexer.run({root});
        QVERIFY(summary.cancelled);
        // Files the readers finished before the cancel was seen are kept; on a busy machine
        // they may have read every file by then, so only the lower bound is certain.
        QVERIFY(summary.read >= 5 && summary.read <= summary.found);
        QCOMPARE(index.entries({{root, true}}).size(), summary.read);
    }
    QCOMPARE(integrityCheck(indexFile()), "ok");

    // A run on another thread completes the index; the entries arrive as they are known and the
    // progress ends at found = done.
    catalog::IndexSummary summary;
    QList<catalog::Progress> progress;
    int delivered = 0;
    QThread *thread = QThread::create([&] {
        catalog::Index index(indexFile());
        catalog::Indexer indexer(index, {true, {}, 0});
        indexer.onEntry = [&](const catalog::Entry &) { ++delivered; };
        indexer.onProgress = [&](const catalog::Progress &p) { progress << p; };
        summary = indexer.run({root});
    });
    thread->start();
    QVERIFY(thread->wait(120000));
    delete thread;
    QCOMPARE(summary.found, 40);
    QCOMPARE(summary.read + summary.unchanged, 40);
    QVERIFY(summary.unchanged >= 5);
    QCOMPARE(delivered, 40);
    QCOMPARE(progress.last().done, 40);
    QCOMPARE(progress.last().found, 40);
    catalog::Index index(indexFile());
    QCOMPARE(index.lookup(QFile::encodeName(dir.filePath("sub/deep.zip")))->description,
             QString("Deep äpfel\nsecond line"));
    QVERIFY(!index.lookup("/nowhere.zip"));
}

void TestCatalog::killedRunLeavesUsableIndex_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGKILL") << int(SIGKILL) << -1;
    QTest::newRow("Ctrl+C") << int(SIGINT) << 130;
}

void TestCatalog::killedRunLeavesUsableIndex()
{
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    makeCollection(dir.path(), 600);
    const Run reference =
        cli({"catalog", "--no-cache", "--recursive", "--format", "json", "."}, dir.path());
    QCOMPARE(reference.code, 0);

    QProcess child;
    child.setWorkingDirectory(dir.path());
    child.start(Cli, {"catalog", "--recursive", "."});
    QVERIFY(child.waitForStarted());
    // Killed once a batch has been committed, while the run still goes on.
    QFile wal(indexFile() + "-wal");
    for (int i = 0; i < 2000 && wal.size() < 16 * 1024 && child.state() == QProcess::Running; ++i)
        QTest::qWait(5);
    QCOMPARE(child.state(), QProcess::Running);
    ::kill(pid_t(child.processId()), signal);
    QVERIFY(child.waitForFinished());
    const int got = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    if (got != exitCode && signal == SIGINT) {
        // On a busy machine the signal may arrive only once indexing is over, while the
        // results are printed: Ctrl+C then ends the program as usual.
        QByteArray rows;
        python("import sqlite3, sys\n"
               "print(sqlite3.connect(sys.argv[1]).execute('select count(*) from files')"
               ".fetchone()[0])\n",
               {indexFile()}, &rows);
        if (rows.trimmed() == "610")
            QSKIP("the run had ended before Ctrl+C reached it");
    }
    QCOMPARE(got, exitCode);

    QCOMPARE(integrityCheck(indexFile()), "ok");
    const Run again = cli({"catalog", "--recursive", "--format", "json", "."}, dir.path());
    QCOMPARE(again.code, 0);
    QCOMPARE(again.err, QByteArray());
    QCOMPARE(again.out, reference.out);
}

void TestCatalog::damagedOrForeignIndexIsRebuilt_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("not a database") << "open(p, 'wb').write(b'hello' * 1000)";
    QTest::newRow("another program's database")
        << "import os, sqlite3; os.remove(p); c = sqlite3.connect(p); c.execute('create table "
           "t(x)');"
           " c.commit()";
    QTest::newRow("pages overwritten")
        << "import sqlite3; c = sqlite3.connect(p); c.execute('PRAGMA wal_checkpoint(TRUNCATE)');"
           " c.close(); d = bytearray(open(p, 'rb').read());"
           " d[4096:len(d)] = b'\\xa5' * (len(d) - 4096); open(p, 'wb').write(d)";
    QTest::newRow("text index schema damaged")
        << "import sqlite3; c = sqlite3.connect(p); c.execute('PRAGMA writable_schema = ON');"
           " c.execute(\"UPDATE sqlite_master SET sql = replace(sql, 'unicode61', 'unicode6x')"
           " WHERE name = 'texts'\"); c.commit()";
}

void TestCatalog::damagedOrForeignIndexIsRebuilt()
{
    QFETCH(QString, damage);
    QTemporaryDir dir;
    makeCollection(dir.path());
    const QStringList args{"catalog", "--recursive", "--format", "json", dir.path()};
    const Run first = cli(args);
    QCOMPARE(first.code, 0);
    QCOMPARE(python("import sys; p = sys.argv[1]\n" + damage, {indexFile()}), 0);

    const Run rebuilt = cli(args);
    QCOMPARE(rebuilt.code, 0);
    QCOMPARE(rebuilt.out, first.out);
    QCOMPARE(rebuilt.err.count("moved aside"), 1);
    QVERIFY(QFile::exists(indexFile() + ".damaged"));
    QCOMPARE(integrityCheck(indexFile()), "ok");
    const Run quiet = cli(args);
    QCOMPARE(quiet.err, QByteArray());
    QCOMPARE(quiet.out, first.out);
}

// Damage that SQLite cannot see: the rows still match the files' stamps.
void TestCatalog::damagedEntriesAreReadAgain_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("a letter of a description")
        << "description = replace(description, 'Quest', 'Quesu') WHERE description IS NOT NULL";
    QTest::newRow("a letter of a path")
        << "path = CAST(replace(CAST(path AS TEXT), 'GAME.ZIP', "
           "'GAME.ZI0') AS BLOB) WHERE CAST(path AS TEXT) LIKE '%GAME.ZIP'";
    QTest::newRow("a zip taken for an MP3") << "kind = 1 WHERE CAST(path AS TEXT) LIKE '%GAME.ZIP'";
    QTest::newRow("a tag field") << "artist = 'The Bend' WHERE kind = 1";
    QTest::newRow("a detail") << "details = 'id3v1\tnone\n' WHERE kind = 1";
}

void TestCatalog::damagedEntriesAreReadAgain()
{
    QFETCH(QString, change);
    QTemporaryDir dir;
    makeCollection(dir.path());
    const QStringList args{"catalog", "--recursive", "--format", "json", dir.path()};
    const Run first = cli(args);
    QByteArray changed;
    QCOMPARE(python("import sqlite3, sys; c = sqlite3.connect(sys.argv[1])\n"
                    "print(c.execute('UPDATE files SET ' + sys.argv[2]).rowcount); c.commit()",
                    {indexFile(), change}, &changed),
             0);
    QVERIFY(changed.trimmed().toInt() > 0);
    for (const QStringList &again :
         {QStringList{"search", "--recursive", "band", dir.path()}, QStringList(args)}) {
        const Run run = cli(again);
        QCOMPARE(run.err, QByteArray());
        QVERIFY(!run.out.contains("Quesu") && !run.out.contains("GAME.ZI0"));
    }
    QCOMPARE(cli(args).out, first.out);
}

void TestCatalog::longDescriptionsAreCut()
{
    QTemporaryDir dir;
    QCOMPARE(python("import sys, zipfile\n"
                    "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                    "    z.writestr('file_id.diz', b'head ' + b'\\0' * (8 << 20))\n",
                    {dir.filePath("nul.zip")}),
             0);
    const Run run = cli({"catalog", "--format", "json", dir.path()});
    QCOMPARE(run.code, 0);
    const QJsonObject o = jsonLines(run.out).value(0);
    QCOMPARE(o.value("description").toString().size(), 64 * 1024);
    QVERIFY(o.value("description").toString().startsWith("head "));
    QCOMPARE(o.value("details").toObject().value("truncated").toString(), "description");
    QVERIFY(QFileInfo(indexFile()).size() + QFileInfo(indexFile() + "-wal").size() < 2 << 20);
}

void TestCatalog::processesShareTheIndex()
{
    QTemporaryDir dir;
    makeCollection(dir.path(), 150);
    const QStringList args{"catalog", "--recursive", "--format", "json", "."};
    const Run reference = cli(QStringList{"catalog", "--no-cache"} + args.mid(1), dir.path());
    QList<QProcess *> children;
    for (const QStringList &a : {args, args, QStringList{"search", "--recursive", "filler", "."}}) {
        auto *p = new QProcess(this);
        p->setWorkingDirectory(dir.path());
        p->start(Cli, a);
        children << p;
    }
    // Meanwhile this process reads the index as the window would.
    catalog::Index reader(indexFile());
    for (int i = 0; i < 20; ++i) {
        reader.entries({{QFile::encodeName(dir.path()), true}});
        QTest::qWait(10);
    }
    for (QProcess *p : children) {
        QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(400000));
        QCOMPARE(p->exitCode(), 0);
        QCOMPARE(p->readAllStandardError(), QByteArray());
    }
    QCOMPARE(children.at(0)->readAllStandardOutput(), reference.out);
    QCOMPARE(children.at(1)->readAllStandardOutput(), reference.out);
    QCOMPARE(children.at(2)->readAllStandardOutput().count('\n'), 150);
    QCOMPARE(integrityCheck(indexFile()), "ok");
}

// The window opens the index from its indexing and its query thread at once; when the file is
// new, one connection switches it to WAL while the other may be reading its header.
void TestCatalog::threadsOpenANewIndexTogether()
{
    QTemporaryDir dir;
    for (int round = 0; round < 40; ++round) {
        const QString file = dir.filePath(QStringLiteral("index%1.sqlite").arg(round));
        QStringList failures;
        std::mutex mutex;
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&] {
                try {
                    catalog::Index index(file);
                    index.entries({{QByteArray("/"), false}});
                } catch (const catalog::IndexError &e) {
                    std::lock_guard lock(mutex);
                    failures << e.message();
                }
            });
        for (std::thread &t : threads)
            t.join();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
        QVERIFY2(!QFile::exists(file + ".damaged"), qPrintable(file));
    }
}

void TestCatalog::pathBytesKeptExactly()
{
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.path()) + "/caf\xe9.mp3";
    FILE *f = std::fopen(name.constData(), "wb");
    QVERIFY(f);
    std::fputs("not much", f);
    std::fclose(f);
    Run run = cli({"catalog", "--format", "json", dir.path()});
    QCOMPARE(run.code, 0);
    QVERIFY2(run.out.contains("\"error\": null"), run.out.constData()); // read by its bytes
    QByteArray back;
    QCOMPARE(python("import json, os, sys\n"
                    "sys.stdout.buffer.write(os.fsencode(json.loads(sys.argv[1])['path']))",
                    {QString::fromUtf8(run.out.trimmed())}, &back),
             0);
    QCOMPARE(back, name);
    run = cli({"catalog", "--format", "csv", dir.path()});
    QVERIFY(run.out.contains("\n" + name + ",mp3,"));
    ::unlink(name.constData());

    // In text, a name cannot colour the terminal or split its entry.
    testsupport::writeFile(dir.filePath("a\x1b[31m\nb.mp3"), "x");
    run = cli({"catalog", dir.path()});
    QVERIFY2(run.out.startsWith(QFile::encodeName(dir.path()) + "/a\\x1b[31m\\nb.mp3  1  "),
             run.out.constData());
    QCOMPARE(run.out.count('\n'), 2);
}

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
