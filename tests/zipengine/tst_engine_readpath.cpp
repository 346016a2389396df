// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's two read paths side by side, in-process: the scanner (with its fall-back) and
// libzip alone must give the same member, the same bytes and the same result code for every
// lookup and listing, over a corpus of valid and hostile archives made by independent tools.

#include "tests/support/testsupport.h"
#include "zipengine/engine/internal.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <ctime>

using namespace zengine;

namespace {

struct Outcome
{
    int rc = -1;
    QByteArray printed;   // delivered bytes and message lines, in order
    QStringList listing;  // every field of every listed member
    QStringList serviced; // ServCallBk's names

    bool operator==(const Outcome &) const = default;
};

Outcome *current = nullptr;

// Asks for the archive comment instead of a member.
const QByteArray CommentCall("\0comment", 8);

int onPrint(char *text, unsigned long length)
{
    current->printed.append(text, static_cast<qsizetype>(length));
    return static_cast<int>(length);
}

void onListing(uint64_t size, uint64_t csize, unsigned ratio, unsigned month, unsigned day,
               unsigned year, unsigned hour, unsigned minute, char flag, const char *name,
               const char *method, unsigned long crc, char encrypted)
{
    current->listing
        << QStringLiteral("%1 %2 %3 %4-%5-%6 %7:%8 %9")
                   .arg(size)
                   .arg(csize)
                   .arg(ratio)
                   .arg(month)
                   .arg(day)
                   .arg(year)
                   .arg(hour)
                   .arg(minute)
                   .arg(QString::fromUtf8(name)) +
               QStringLiteral(" %1 %2 %3%4").arg(method).arg(crc).arg(flag).arg(encrypted);
}

int onService(const char *name, uint64_t)
{
    current->serviced << QString::fromUtf8(name);
    return 0;
}

int noPassword(char *, int, const char *, const char *)
{
    return 1;
}

Outcome call(ReadPath path, const QString &archive, const QByteArray &name, bool ignoreCase)
{
    Outcome out;
    current = &out;
    USERFUNCTIONS uf = {};
    uf.print = onPrint;
    uf.password = noPassword;
    uf.SendApplicationMessage = onListing;
    uf.ServCallBk = onService;
    DCL dcl = {};
    dcl.fQuiet = 2;
    dcl.fPrivilege = 1;
    dcl.nUflag = 1;
    dcl.C_flag = ignoreCase;
    QByteArray archiveBytes = QFile::encodeName(archive);
    char empty[] = "";
    dcl.lpszZipFN = archiveBytes.data();
    dcl.lpszExtractDir = empty;
    QByteArray nameBytes = name;
    char *names[] = {nameBytes.data()};
    if (name == CommentCall) {
        dcl.nzflag = 1;
        out.rc = unzipWith(path, 0, nullptr, 0, nullptr, dcl, &uf);
    } else if (name.isNull()) {
        dcl.nvflag = 1;
        dcl.lpszExtractDir = nullptr;
        out.rc = unzipWith(path, 0, nullptr, 0, nullptr, dcl, &uf);
    } else {
        dcl.ncflag = 1;
        out.rc = unzipWith(path, 1, names, 0, nullptr, dcl, &uf);
    }
    current = nullptr;
    return out;
}

// The names every archive is asked for: its own members' names as listed (the first 40),
// some usual description names and their case variants.
QList<QByteArray> triedNames(const Outcome &listing)
{
    QList<QByteArray> names = {"file_id.diz", "FILE_ID.DIZ", "readme.txt",   "README.TXT",
                               "GAME.txt",    "ärger.txt",   "ÄRGER.TXT",    "straße.diz",
                               "kelvin.txt",  "nothing.nfo", "docs/INFO.TXT"};
    for (const QString &line : listing.listing.mid(0, 40))
        names << line.section(QLatin1Char(' '), 5, -4).toUtf8();
    return names;
}

} // namespace

class TestEngineReadPath : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString corpus() const { return m_dir.filePath(QStringLiteral("corpus")); }

private slots:
    void initTestCase()
    {
        // The libzip path shows times through the local zone: keep it free of DST gaps.
        qputenv("TZ", "UTC");
        tzset();
        QVERIFY(m_dir.isValid());
        QByteArray err;
        QCOMPARE(
            testsupport::run(
                QStringLiteral("python3"),
                {QStringLiteral(QUORIL_SOURCE_DIR "/tests/zipengine/readpath_corpus.py"), corpus()},
                nullptr, QString(), QByteArray(), &err),
            0);
    }

    void pathsAgree_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<bool>("scannerServesAll");
        // Archives the scanner must read itself, every call: the common kinds.
        const QStringList fast = {
            "py_deflated.zip",      "py_stored.zip",        "py_descriptors.zip",
            "py_cases.zip",         "py_utf8.zip",          "py_empty.zip",
            "py_comment.zip",       "py_zip64.zip",         "izip.zip",
            "raw_cp437.zip",        "raw_unicode_path.zip", "raw_zip64_end.zip",
            "fake_end_garbage.zip", "many_names.zip",       "alike_long_names.zip"};
        const QStringList all = QDir(corpus()).entryList(QDir::Files, QDir::Name);
        QVERIFY(all.size() > 40);
        for (const QString &name : all)
            QTest::newRow(qPrintable(name)) << name << fast.contains(name);
    }

    void pathsAgree()
    {
        QFETCH(QString, archive);
        QFETCH(bool, scannerServesAll);
        const QString path = corpus() + QLatin1Char('/') + archive;
        const ReadPathCounts before = readPathCounts();
        const Outcome listing = call(ReadPath::LibzipOnly, path, QByteArray(), true);
        QCOMPARE(call(ReadPath::Fast, path, QByteArray(), true), listing);
        QCOMPARE(call(ReadPath::Fast, path, CommentCall, true),
                 call(ReadPath::LibzipOnly, path, CommentCall, true));
        int calls = 2;
        for (const QByteArray &name : triedNames(listing)) {
            for (const bool ignoreCase : {true, false}) {
                const Outcome reference = call(ReadPath::LibzipOnly, path, name, ignoreCase);
                const Outcome fast = call(ReadPath::Fast, path, name, ignoreCase);
                if (!(fast == reference))
                    qWarning() << name << ignoreCase << fast.rc << reference.rc
                               << fast.printed.left(200) << reference.printed.left(200);
                QCOMPARE(fast, reference);
                ++calls;
            }
        }
        const ReadPathCounts after = readPathCounts();
        if (scannerServesAll) {
            QCOMPARE(after.served - before.served, static_cast<unsigned long>(calls));
            QCOMPARE(after.declined, before.declined);
        }
    }

    // A delivery takes one member even when several match: the one stored under exactly the
    // name tried, else the first match in archive order. Both paths.
    void oneMemberPerName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("exact among case variants")
            << QByteArray("file_id.diz") << true << QByteArray("lower\n");
        QTest::newRow("no exact: first folded")
            << QByteArray("FILE_ID.diz") << true << QByteArray("mixed\n");
        QTest::newRow("exact duplicates: first")
            << QByteArray("readme.txt") << true << QByteArray("one\n");
        QTest::newRow("case-sensitive")
            << QByteArray("README.TXT") << false << QByteArray("three\n");
    }

    void oneMemberPerName()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, ignoreCase);
        QFETCH(QByteArray, expected);
        const QString path = corpus() + QStringLiteral("/py_cases.zip");
        for (const ReadPath readPath : {ReadPath::Fast, ReadPath::LibzipOnly}) {
            const Outcome out = call(readPath, path, name, ignoreCase);
            QCOMPARE(out.rc, 0);
            QCOMPARE(out.printed, expected);
            QCOMPARE(out.serviced.size(), 1);
        }
    }

    // Members of the DOS-era methods decode on both paths; damaged ones end with a reason.
    void legacyMethods_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("rc");
        for (const char *name :
             {"shrink", "stored_shrink", "reduce1", "reduce2", "reduce3", "reduce4", "implode_4k_2",
              "implode_4k_3", "implode_8k_2", "implode_8k_3"}) {
            const QString base = QStringLiteral("legacy_%1").arg(QLatin1String(name));
            QTest::newRow(qPrintable(base)) << base + QStringLiteral(".zip") << 0;
            QTest::newRow(qPrintable(base + "_cut")) << base + QStringLiteral("_cut.zip") << 2;
            QTest::newRow(qPrintable(base + "_flipped"))
                << base + QStringLiteral("_flipped.zip") << 2;
        }
    }

    void legacyMethods()
    {
        QFETCH(QString, archive);
        QFETCH(int, rc);
        const QString path = corpus() + QLatin1Char('/') + archive;
        for (const ReadPath readPath : {ReadPath::Fast, ReadPath::LibzipOnly}) {
            const Outcome out = call(readPath, path, "file_id.diz", true);
            QCOMPARE(out.rc, rc);
            if (rc == 0)
                QVERIFY(out.printed.startsWith("0: The quick brown fox") &&
                        out.printed.endsWith("119: The quick brown fox jumps over the lazy dog "
                                             "\x90 \r\n"));
            else
                QVERIFY(out.printed.contains("error: FILE_ID.DIZ: "));
        }
    }

    // Extraction: overlapping members are refused whole, data in front is skipped, an empty
    // file with attribute byte 0xFF is a file, and a UTC timestamp field sets the file's time.
    void extraction_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("rc");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("overlapping") << "overlap.zip" << 3 << QStringList();
        QTest::newRow("data in front")
            << "front_stub.zip" << 0
            << QStringList{"GAME.txt", "file_id.diz", "info.txt", "readme.txt"};
        QTest::newRow("attribute 0xFF") << "attr_ff.zip" << 0 << QStringList{"empty.txt"};
        QTest::newRow("UTC time") << "utc_time.zip" << 0 << QStringList{"stamped.txt"};
        QTest::newRow("Deflate64") << "legacy_deflate64.zip" << 0 << QStringList{"FILE_ID.DIZ"};
        QTest::newRow("name like a Zip64 locator")
            << "false_locator.zip" << 0
            << QStringList{"file_id.diz", QString::fromUtf8("zPK♠♠PK♠•0000000000000000")};
        // Directories that libzip refuses and the classic unzip reads.
        const QStringList two{"file_id.diz", "readme.txt"};
        QTest::newRow("0xFF after the extra fields") << "odd_ff_after_field.zip" << 0 << two;
        QTest::newRow("extra field past its block") << "odd_field_overrun.zip" << 0 << two;
        QTest::newRow("torn extra field") << "raw_torn_extra.zip" << 0 << two.mid(0, 1);
        QTest::newRow("comment past the end")
            << "comment_too_long.zip" << 0
            << QStringList{"GAME.txt", "file_id.diz", "info.txt", "readme.txt"};
        QTest::newRow("data in front, bytes after the comment")
            << "front_comment_short.zip" << 0
            << QStringList{"GAME.txt", "file_id.diz", "info.txt", "readme.txt"};
        QTest::newRow("Zip64 field shorter than its values") << "odd_zip64_short.zip" << 0 << two;
        QTest::newRow("Zip64 value missing") << "odd_zip64_missing.zip" << 3 << QStringList();
    }

    void extraction()
    {
        QFETCH(QString, archive);
        QFETCH(int, rc);
        QFETCH(QStringList, files);
        QTemporaryDir target;
        Outcome out;
        current = &out;
        USERFUNCTIONS uf = {};
        uf.print = onPrint;
        uf.password = noPassword;
        DCL dcl = {};
        dcl.fQuiet = 2;
        dcl.fPrivilege = 1;
        QByteArray archiveBytes = QFile::encodeName(corpus() + QLatin1Char('/') + archive);
        QByteArray targetBytes = QFile::encodeName(target.path());
        dcl.lpszZipFN = archiveBytes.data();
        dcl.lpszExtractDir = targetBytes.data();
        QCOMPARE(unzipWith(ReadPath::Fast, 0, nullptr, 0, nullptr, dcl, &uf), rc);
        current = nullptr;
        QCOMPARE(QDir(target.path()).entryList(QDir::Files, QDir::Name), files);
        if (archive == "utc_time.zip" || archive == "odd_field_overrun.zip")
            QCOMPARE(QFileInfo(target.filePath(files[0])).lastModified().toSecsSinceEpoch(),
                     1000000000);
        if (archive == "overlap.zip")
            QVERIFY(out.printed.contains("members overlap"));
    }

    // The attempts of one lookup read the archive's directory once, not once per name.
    void lookupReadsDirectoryOnce()
    {
        const QString path = m_dir.filePath(QStringLiteral("once.zip"));
        QVERIFY(QFile::copy(corpus() + QStringLiteral("/many_names.zip"), path));
        const ReadPathCounts before = readPathCounts();
        for (const char *name : {"file_id.dix", "readme.txt", "once.txt", "x.nfo", "FILE_ID.DIZ"})
            call(ReadPath::Fast, path, name, true);
        const ReadPathCounts after = readPathCounts();
        QCOMPARE(after.passes - before.passes, 1ul);
        QCOMPARE(after.served - before.served, 5ul);
    }
};

QTEST_GUILESS_MAIN(TestEngineReadPath)
#include "tst_engine_readpath.moc"
