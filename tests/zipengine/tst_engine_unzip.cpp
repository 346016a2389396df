// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

using testsupport::Member;

namespace {

// What one engine call handed back.
struct Outcome
{
    int rc = -1;
    QByteArray captured;
    QStringList messages;
    QList<ListingEntry> listing;
    QStringList serviced;
};

enum class Mode { Deliver, List, Extract };

DCL baseDcl()
{
    DCL dcl = {};
    dcl.fQuiet = 2;
    dcl.fPrivilege = 1;
    dcl.C_flag = 1;
    return dcl;
}

Outcome callEngine(Mode mode, const QString &archive, const QStringList &names, DCL dcl,
                   const QString &target = QString(),
                   std::function<bool(const QString &)> onService = {})
{
    Outcome out;
    EngineSink sink;
    sink.onListing = [&](const ListingEntry &e) { out.listing << e; };
    sink.onService = [&](const QString &name, uint64_t) {
        out.serviced << name;
        return onService ? onService(name) : true;
    };
    EngineSinkScope scope(sink);
    USERFUNCTIONS functions;
    FillUserFunctions(functions);
    EngineText archiveText(archive);
    EngineText targetText(target);
    EngineTextArray include(names);
    dcl.lpszZipFN = archiveText.get();
    dcl.ncflag = mode == Mode::Deliver;
    dcl.nvflag = mode == Mode::List;
    dcl.lpszExtractDir = mode == Mode::List ? nullptr : targetText.get();
    CaptureOutput = mode == Mode::Deliver;
    ListingActive = mode == Mode::List;
    out.rc = ZipEngine::Wiz_SingleEntryUnzip(include.count(), include.get(), 0, nullptr, &dcl,
                                             &functions);
    CaptureOutput = false;
    ListingActive = false;
    out.captured = sink.captured;
    out.messages = sink.messages;
    return out;
}

Outcome deliver(const QString &archive, const QString &name, bool ignoreCase = true)
{
    DCL dcl = baseDcl();
    dcl.C_flag = ignoreCase;
    return callEngine(Mode::Deliver, archive, {name}, dcl);
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int b = 1; b < 256; ++b)
        bytes.append(static_cast<char>(b));
    return bytes + "\r\nend\r\n";
}

// Replaces every occurrence of `from` by `to` (same length) in a file.
void patchFile(const QString &path, const QByteArray &from, const QByteArray &to)
{
    QByteArray data = testsupport::readFile(path);
    QVERIFY(data.contains(from));
    data.replace(from, to);
    testsupport::writeFile(path, data);
}

// makeZip passes bytes on the command line; big members are made inside Python.
void makeRepeatedZip(const QString &path, const QString &name, char byte, int count)
{
    QCOMPARE(testsupport::python(
                 QStringLiteral(
                     "import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                     "    z.writestr(sys.argv[2], sys.argv[3].encode() * int(sys.argv[4]))\n"),
                 {path, name, QString(QLatin1Char(byte)), QString::number(count)}),
             0);
}

// Members with everything zipfile lets us choose: date, Unix mode (file type included),
// maker system.
struct Fixture
{
    QString name;
    QByteArray data;
    int year = 2010;
    int mode = 0100644;
    int system = 3;
};

void makeFixtureZip(const QString &path, const QList<Fixture> &fixtures)
{
    QJsonArray members;
    for (const Fixture &s : fixtures)
        members.append(QJsonObject{{QStringLiteral("name"), s.name},
                                   {QStringLiteral("data"), QString::fromLatin1(s.data.toHex())},
                                   {QStringLiteral("year"), s.year},
                                   {QStringLiteral("mode"), s.mode},
                                   {QStringLiteral("system"), s.system}});
    const QString script =
        QStringLiteral("import sys, json, zipfile\n"
                       "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                       "    for m in json.loads(sys.argv[2]):\n"
                       "        i = zipfile.ZipInfo(m['name'], (m['year'], 6, 15, 12, 30, 0))\n"
                       "        i.create_system = m['system']\n"
                       "        i.external_attr = m['mode'] << 16\n"
                       "        i.compress_type = zipfile.ZIP_DEFLATED\n"
                       "        z.writestr(i, bytes.fromhex(m['data']))\n");
    QCOMPARE(testsupport::python(script, {path, QString::fromUtf8(QJsonDocument(members).toJson(
                                                    QJsonDocument::Compact))}),
             0);
}

void setFileYear(const QString &path, int year)
{
    const QDateTime when(QDate(year, 6, 15), QTime(12, 30));
    struct utimbuf times;
    times.actime = times.modtime = static_cast<time_t>(when.toSecsSinceEpoch());
    QCOMPARE(utime(QFile::encodeName(path).constData(), &times), 0);
}

// Every file, folder and link below `root`, relative, sorted; links marked with "@".
QStringList tree(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QString entry = QDir(root).relativeFilePath(it.filePath());
        if (info.isSymLink())
            entry += QLatin1Char('@');
        else if (info.isDir())
            entry += QLatin1Char('/');
        entries << entry;
    }
    entries.sort();
    return entries;
}

} // namespace

class TestEngineUnzip : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(testsupport::loadEngine());
    }

    void deliver_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("compress");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<int>("rc");
        const QByteArray oem = allByteValues();
        QTest::newRow("stored DOS bytes") << "FILE_ID.DIZ"
                                          << "FILE_ID.DIZ" << false << oem << false << 0;
        QTest::newRow("upper-case stored, lower-case asked")
            << "FILE_ID.DIZ"
            << "file_id.diz" << false << oem << true << 0;
        QTest::newRow("deflated, mixed case")
            << "ReadMe.Txt"
            << "README.TXT" << true << oem.repeated(50) << true << 0;
        QTest::newRow("case matters without C_flag")
            << "FILE_ID.DIZ"
            << "file_id.diz" << false << oem << false << int(PK_FIND);
        QTest::newRow("non-ASCII upper case found by lower case")
            << "ÄRGER.TXT"
            << "ärger.txt" << true << QByteArray("Ärger\r\n") << true << 0;
        QTest::newRow("Cyrillic") << "ОПИСАНИЕ.TXT"
                                  << "описание.txt" << true << QByteArray("text") << true << 0;
        QTest::newRow("member in a folder")
            << "docs/Info.txt"
            << "DOCS/INFO.TXT" << true << QByteArray("x") << true << 0;
        QTest::newRow("empty member") << "empty.diz"
                                      << "EMPTY.DIZ" << false << QByteArray() << true << 0;
        QTest::newRow("missing member")
            << "readme.txt"
            << "file_id.diz" << true << QByteArray("x") << true << int(PK_FIND);
    }

    void deliver()
    {
        QFETCH(QString, stored);
        QFETCH(QString, asked);
        QFETCH(bool, compress);
        QFETCH(QByteArray, data);
        QFETCH(bool, ignoreCase);
        QFETCH(int, rc);
        const QString archive = path(QStringLiteral("deliver.zip"));
        testsupport::makeZip(archive, {{QStringLiteral("other.txt"), "other"}, {stored, data}},
                             compress);
        const Outcome out = ::deliver(archive, asked, ignoreCase);
        QCOMPARE(out.rc, rc);
        if (rc == 0) {
            QCOMPARE(out.captured, data);
            QCOMPARE(out.captured, testsupport::readMember(archive, stored));
        } else {
            QCOMPARE(out.captured,
                     QByteArray("error: " + archive.toUtf8() + ": no member matched\n"));
        }
    }

    // An archive without the UTF-8 flag: names are CP437 bytes.
    void deliverCp437Name()
    {
        const QString archive = path(QStringLiteral("cp437.zip"));
        testsupport::makeZip(archive, {{QStringLiteral("XRGER.TXT"), "dos text"}});
        patchFile(archive, "XRGER.TXT", "\x8eRGER.TXT"); // 0x8E is Ä in CP437
        const Outcome out = ::deliver(archive, QStringLiteral("ärger.txt"));
        QCOMPARE(out.rc, 0);
        QCOMPARE(out.captured, QByteArray("dos text"));

        DCL dcl = baseDcl();
        const Outcome listed = callEngine(Mode::List, archive, {}, dcl);
        QCOMPARE(listed.listing.size(), 1);
        QCOMPARE(listed.listing.first().name, QStringLiteral("ÄRGER.TXT"));
    }

    // The program's print may refuse more bytes (it bounds memory that way): the engine
    // stops at once and reports a cancel.
    void printRefusesMore()
    {
        const QString archive = path(QStringLiteral("huge.zip"));
        makeRepeatedZip(archive, QStringLiteral("huge.txt"), 'h', 1 << 20);
        EngineSink sink;
        sink.captureLimit = 1000;
        EngineSinkScope scope(sink);
        USERFUNCTIONS functions;
        FillUserFunctions(functions);
        DCL dcl = baseDcl();
        dcl.ncflag = 1;
        EngineText archiveText(archive);
        EngineText empty(QString{});
        EngineTextArray names({QStringLiteral("huge.txt")});
        dcl.lpszZipFN = archiveText.get();
        dcl.lpszExtractDir = empty.get();
        CaptureOutput = true;
        const int rc =
            ZipEngine::Wiz_SingleEntryUnzip(1, names.get(), 0, nullptr, &dcl, &functions);
        CaptureOutput = false;
        QCOMPARE(rc, int(IZ_CTRLC));
        QVERIFY(sink.captureTruncated);
        QCOMPARE(sink.captured, QByteArray(1000, 'h'));
    }

    void deliverLargeMember()
    {
        const QString archive = path(QStringLiteral("large.zip"));
        makeRepeatedZip(archive, QStringLiteral("large.txt"), 'q', 300 * 1024 + 7);
        const Outcome out = ::deliver(archive, QStringLiteral("LARGE.TXT"));
        QCOMPARE(out.rc, 0);
        QCOMPARE(out.captured, QByteArray(300 * 1024 + 7, 'q'));
    }

    void listing()
    {
        const QString archive = path(QStringLiteral("list.zip"));
        const QString script = QStringLiteral(
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
            "    i = zipfile.ZipInfo('b.txt', (1999, 3, 5, 10, 7, 0))\n"
            "    i.compress_type = zipfile.ZIP_DEFLATED\n"
            "    z.writestr(i, b'a' * 1000)\n"
            "    z.writestr(zipfile.ZipInfo('a/', (2024, 12, 31, 23, 59, 58)), b'')\n"
            "    z.writestr(zipfile.ZipInfo('a/c.txt', (2001, 1, 2, 3, 4, 0)), b'12345')\n");
        QCOMPARE(testsupport::python(script, {archive}), 0);
        const Outcome out = callEngine(Mode::List, archive, {}, baseDcl());
        QCOMPARE(out.rc, 0);
        QCOMPARE(out.listing.size(), 3);
        QCOMPARE(out.serviced, QStringList());
        const ListingEntry &b = out.listing[0];
        QCOMPARE(b.name, QStringLiteral("b.txt"));
        QCOMPARE(b.size, quint64(1000));
        QVERIFY(b.compressedSize < 100);
        QVERIFY(b.ratio > 90 && b.ratio <= 100);
        QCOMPARE(listingLine(b), QStringLiteral("   1000  03-05-99 10:07  b.txt"));
        QCOMPARE(listingLine(out.listing[1]), QStringLiteral("      0  12-31-24 23:59  a/"));
        QCOMPARE(listingLine(out.listing[2]), QStringLiteral("      5  01-02-01 03:04  a/c.txt"));
        QCOMPARE(out.listing[2].ratio, 0u);
    }

    // The listing shows the DOS fields as stored, never through the local time zone; a volume
    // label is listed but not extracted.
    void listingShowsStoredFields()
    {
        const QByteArray zone = qgetenv("TZ");
        const auto restoreZone = qScopeGuard([&] {
            qputenv("TZ", zone);
            tzset();
        });
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const QString archive = path(QStringLiteral("dates.zip"));
        const QString script =
            QStringLiteral("import sys, zipfile\n"
                           "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                           "    for name, when in [('gap.txt', (2021, 3, 28, 2, 30, 0)),\n"
                           "                       ('month13.txt', (2021, 13, 0, 10, 7, 0)),\n"
                           "                       ('late.txt', (1999, 12, 31, 25, 61, 0))]:\n"
                           "        z.writestr(zipfile.ZipInfo(name, when), b'x')\n"
                           "    i = zipfile.ZipInfo('MYDISK', (2000, 1, 2, 3, 4, 0))\n"
                           "    i.create_system = 0\n"
                           "    i.external_attr = 0x08\n"
                           "    z.writestr(i, b'')\n");
        QCOMPARE(testsupport::python(script, {archive}), 0);
        const Outcome out = callEngine(Mode::List, archive, {}, baseDcl());
        QStringList lines;
        for (const ListingEntry &entry : out.listing)
            lines << listingLine(entry);
        QCOMPARE(
            lines,
            (QStringList{"      1  03-28-21 02:30  gap.txt", "      1  13-00-21 10:07  month13.txt",
                         "      1  12-31-99 25:61  late.txt", "      0  01-02-00 03:04  MYDISK"}));
        const QString target = path(QStringLiteral("dates"));
        QCOMPARE(callEngine(Mode::Extract, archive, {}, baseDcl(), target).rc, 0);
        QCOMPARE(tree(target), (QStringList{"gap.txt", "late.txt", "month13.txt"}));
    }

    void damagedArchives_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not an archive") << QByteArray("just some text, no zip here\n").repeated(10)
                                        << QList<int>{PK_NOZIP} << "not a zip archive";
        QTest::newRow("empty file") << QByteArray() << QList<int>{PK_NOZIP} << "not a zip archive";
    }

    void damagedArchives()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, codes);
        QFETCH(QString, reason);
        const QString archive = path(QStringLiteral("damaged.zip"));
        testsupport::writeFile(archive, bytes);
        for (Mode mode : {Mode::Deliver, Mode::List}) {
            const Outcome out =
                callEngine(mode, archive, {QStringLiteral("file_id.diz")}, baseDcl());
            QVERIFY2(codes.contains(out.rc), qPrintable(QString::number(out.rc)));
            const QString line = QString::fromUtf8(
                mode == Mode::Deliver ? out.captured.trimmed()
                                      : out.messages.join(QLatin1Char('|')).toUtf8());
            QCOMPARE(line, QStringLiteral("error: %1: %2").arg(archive, reason));
        }
    }

    void truncatedArchive_data()
    {
        QTest::addColumn<int>("keep"); // bytes kept; negative: bytes cut from the end
        QTest::newRow("end record cut") << -10;
        QTest::newRow("half") << 0;
        QTest::newRow("only the first header") << 30;
    }

    void truncatedArchive()
    {
        QFETCH(int, keep);
        const QString good = path(QStringLiteral("good.zip"));
        makeFixtureZip(good, {{"file_id.diz", allByteValues().repeated(40)},
                              {"readme.txt", QByteArray(5000, 'r')}});
        const QByteArray whole = testsupport::readFile(good);
        const int size = keep < 0 ? whole.size() + keep : keep == 0 ? whole.size() / 2 : keep;
        const QString archive = path(QStringLiteral("truncated.zip"));
        testsupport::writeFile(archive, whole.left(size));
        for (Mode mode : {Mode::Deliver, Mode::List}) {
            const Outcome out = callEngine(mode, archive, {"file_id.diz"}, baseDcl());
            QVERIFY2(out.rc == PK_NOZIP || out.rc == PK_BADERR,
                     qPrintable(QString::number(out.rc)));
            const QByteArray lines =
                mode == Mode::Deliver ? out.captured : out.messages.join('\n').toUtf8() + '\n';
            QVERIFY2(lines.startsWith("error: " + archive.toUtf8() + ": ") &&
                         lines.count('\n') == 1,
                     lines.constData());
        }
    }

    // Member data that does not match its header: a changed byte, sizes that lie.
    void damagedMember_data()
    {
        QTest::addColumn<QString>("patch"); // Python code changing bytearray `b`
        QTest::addColumn<QString>("reason");
        QTest::newRow("changed byte of a stored member") << "i = b.index(b'EFGH'); b[i] = ord('e')"
                                                         << "CRC error";
        QTest::newRow("uncompressed size smaller than the data")
            << "struct.pack_into('<I', b, 22, 100); c = b.index(b'PK\\x01\\x02'); "
               "struct.pack_into('<I', b, c + 24, 100)"
            << "damaged member data (longer than its header says)";
        QTest::newRow("uncompressed size larger than the data")
            << "struct.pack_into('<I', b, 22, 99999); c = b.index(b'PK\\x01\\x02'); "
               "struct.pack_into('<I', b, c + 24, 99999)"
            << "damaged member data (shorter than its header says)";
    }

    void damagedMember()
    {
        QFETCH(QString, patch);
        QFETCH(QString, reason);
        const QString archive = path(QStringLiteral("member.zip"));
        const QByteArray data = QByteArray("ABCDEFGHIJ").repeated(1000);
        testsupport::makeZip(archive, {{QStringLiteral("data.txt"), data}},
                             !patch.contains(QLatin1String("EFGH")));
        QCOMPARE(testsupport::python(
                     "import sys, struct\nb = bytearray(open(sys.argv[1], 'rb').read())\n" + patch +
                         "\nopen(sys.argv[1], 'wb').write(b)\n",
                     {archive}),
                 0);
        const Outcome out = ::deliver(archive, QStringLiteral("data.txt"));
        QCOMPARE(out.rc, int(PK_ERR));
        QVERIFY2(out.captured.endsWith("error: data.txt: " + reason.toUtf8() + "\n"),
                 out.captured.right(120).constData());
        QVERIFY(out.captured.size() <= data.size() + 200);

        QTemporaryDir work;
        DCL dcl = baseDcl();
        const Outcome extracted = callEngine(Mode::Extract, archive, {}, dcl, work.path());
        QCOMPARE(extracted.rc, int(PK_ERR));
        QCOMPARE(extracted.messages, QStringList{"error: data.txt: " + reason});
        QCOMPARE(tree(work.path()), QStringList()); // nothing half-written left behind
    }

    // A changed archive at the same path is read anew, never from the cached view.
    void changedArchiveReadAnew()
    {
        const QString archive = path(QStringLiteral("changing.zip"));
        testsupport::makeZip(archive, {{QStringLiteral("file_id.diz"), "first"}});
        QCOMPARE(::deliver(archive, QStringLiteral("FILE_ID.DIZ")).captured, QByteArray("first"));
        QCOMPARE(::deliver(archive, QStringLiteral("file_id.diz")).captured, QByteArray("first"));
        testsupport::makeZip(archive, {{QStringLiteral("file_id.diz"), "second, longer"}});
        QCOMPARE(::deliver(archive, QStringLiteral("file_id.diz")).captured,
                 QByteArray("second, longer"));
    }

    // Listing and lookups stay linear in the number of members.
    void manyMembers()
    {
        const QString archive = path(QStringLiteral("many.zip"));
        QCOMPARE(testsupport::python(
                     QStringLiteral("import sys, zipfile\n"
                                    "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                    "    for i in range(100000): z.writestr('d%03d/m%06d.txt' % (i "
                                    "% 500, i), b'x')\n"
                                    "    z.writestr('Info/FILE_ID.DIZ', b'found')\n"),
                     {archive}),
                 0);
        QElapsedTimer timer;
        timer.start();
        int found = 0;
        for (const char *name : {"info/file_id.diz", "info/readme.txt", "INFO/FILE_ID.DIZ"})
            found += ::deliver(archive, QString::fromLatin1(name)).rc == 0;
        const Outcome listed = callEngine(Mode::List, archive, {}, baseDcl());
        QCOMPARE(found, 2);
        QCOMPARE(listed.listing.size(), 100001);
        QCOMPARE(listed.listing.last().name, QStringLiteral("Info/FILE_ID.DIZ"));
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }

    void missingArchive()
    {
        const Outcome out = ::deliver(path(QStringLiteral("nowhere.zip")), QStringLiteral("x"));
        QCOMPARE(out.rc, int(PK_NOZIP));
        QVERIFY(out.captured.endsWith(": no such file\n"));
    }

    void overwriteRules_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("existingYear"); // 0: no existing file
        QTest::addColumn<bool>("withPaths");
        QTest::addColumn<QString>("expected"); // "member", "old" or "none"
        QTest::addColumn<int>("rc");
        const struct
        {
            const char *label;
            const char *option;
            int year;
            const char *expected;
            int rc;
        } rows[] = {
            {"no option keeps an older file", "", 2000, "old", PK_WARN},
            {"no option creates a missing file", "", 0, "member", 0},
            {"prompt with the program's answer keeps the file", "prompt", 2000, "old", PK_WARN},
            {"always overwrite replaces a newer file", "o", 2020, "member", 0},
            {"only newer replaces an older file", "newer", 2000, "member", 0},
            {"only newer keeps a newer file", "newer", 2020, "old", 0},
            {"only newer creates nothing", "newer", 0, "none", 0},
            {"update replaces an older file", "u", 2000, "member", 0},
            {"update keeps a newer file", "u", 2020, "old", 0},
            {"update creates a missing file", "u", 0, "member", 0},
        };
        for (bool withPaths : {true, false})
            for (const auto &r : rows)
                QTest::addRow("%s, %s", r.label, withPaths ? "with paths" : "bare names")
                    << QString::fromLatin1(r.option) << r.year << withPaths
                    << QString::fromLatin1(r.expected) << r.rc;
    }

    void overwriteRules()
    {
        QFETCH(QString, option);
        QFETCH(int, existingYear);
        QFETCH(bool, withPaths);
        QFETCH(QString, expected);
        QFETCH(int, rc);
        QTemporaryDir work;
        const QString archive = work.filePath(QStringLiteral("a.zip"));
        makeFixtureZip(archive, {{QStringLiteral("sub/a.txt"), "member data", 2010, 0100755}});
        const QString target = work.filePath(QStringLiteral("out"));
        const QString file = target + (withPaths ? "/sub/a.txt" : "/a.txt");
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        if (existingYear) {
            testsupport::writeFile(file, "old data");
            setFileYear(file, existingYear);
        }
        DCL dcl = baseDcl();
        dcl.ndflag = withPaths;
        dcl.noflag = option == QLatin1String("o");
        dcl.nUflag = option == QLatin1String("u");
        dcl.ExtractOnlyNewer = option == QLatin1String("newer");
        dcl.PromptToOverwrite = option == QLatin1String("prompt");
        const Outcome out =
            callEngine(Mode::Extract, archive, {QStringLiteral("sub/a.txt")}, dcl, target);
        QCOMPARE(out.rc, rc);
        if (expected == QLatin1String("none")) {
            QVERIFY(!QFileInfo::exists(file));
        } else if (expected == QLatin1String("old")) {
            QCOMPARE(testsupport::readFile(file), QByteArray("old data"));
            QCOMPARE(out.messages, rc == PK_WARN
                                       ? QStringList{"warning: sub/a.txt: existing file kept"}
                                       : QStringList{});
        } else {
            QCOMPARE(testsupport::readFile(file), QByteArray("member data"));
            const QFileInfo info(file);
            QCOMPARE(info.lastModified(), QDateTime(QDate(2010, 6, 15), QTime(12, 30)));
            QVERIFY(info.permissions() & QFileDevice::ExeOwner);
            QCOMPARE(out.messages, QStringList{});
        }
        // No temporary file is left behind.
        for (const QString &entry : tree(target))
            QVERIFY2(!entry.contains(QLatin1String(".quoril-")), qPrintable(entry));
    }

    void hostileNames_data()
    {
        QTest::addColumn<QList<Fixture>>("members");
        QTest::addColumn<QStringList>("expected"); // the tree below the work folder
        QTest::addColumn<int>("rc");
        QTest::newRow("dot-dot parts dropped")
            << QList<Fixture>{{"../x", "1"}, {"a/../../b", "2"}}
            << QStringList{"out/", "out/a/", "out/a/b", "out/x"} << int(PK_WARN);
        QTest::newRow("absolute path made relative")
            << QList<Fixture>{{"/abs/y", "1"}} << QStringList{"out/", "out/abs/", "out/abs/y"}
            << int(PK_WARN);
        QTest::newRow("DOS drive and backslashes")
            << QList<Fixture>{{"C:\\win\\z.txt", "1", 2010, 0, 0}}
            << QStringList{"out/", "out/win/", "out/win/z.txt"} << int(PK_WARN);
        QTest::newRow("backslash of a Unix archive is part of the name")
            << QList<Fixture>{{"a\\b", "1"}} << QStringList{"out/", "out/a\\b"} << 0;
        QTest::newRow("symlink member then a member through it")
            << QList<Fixture>{{"link", "../outside", 2010, 0120777}, {"link/evil.txt", "x"}}
            << QStringList{"out/", "out/link/", "out/link/evil.txt"} << int(PK_WARN);
        QTest::newRow("symlink member to an absolute path")
            << QList<Fixture>{{"etc", "/etc", 2010, 0120777}, {"etc/passwd", "x"}}
            << QStringList{"out/", "out/etc/", "out/etc/passwd"} << int(PK_WARN);
        QTest::newRow("set-user-id bit dropped")
            << QList<Fixture>{{"run", "#!/bin/sh\n", 2010, 0104755}}
            << QStringList{"out/", "out/run"} << 0;
    }

    void hostileNames()
    {
        QFETCH(QList<Fixture>, members);
        QFETCH(QStringList, expected);
        QFETCH(int, rc);
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkdir(QStringLiteral("outside")));
        const QString archive = m_dir.filePath(QStringLiteral("hostile.zip"));
        makeFixtureZip(archive, members);
        DCL dcl = baseDcl();
        dcl.ndflag = 1;
        const Outcome out =
            callEngine(Mode::Extract, archive, {}, dcl, work.filePath(QStringLiteral("out")));
        QCOMPARE(out.rc, rc);
        expected << QStringLiteral("outside/"); // untouched and empty
        expected.sort();
        QCOMPARE(tree(work.path()), expected);
        for (const QString &line : out.messages)
            QVERIFY2(line.startsWith(QLatin1String("warning: ")), qPrintable(line));
        const QFileInfo run(work.filePath(QStringLiteral("out/run")));
        if (run.exists()) {
            struct stat st;
            QCOMPARE(stat(QFile::encodeName(run.filePath()).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07000, 0u);
            QVERIFY(st.st_mode & S_IXUSR);
        }
    }

    // A link already in the target folder is never followed, whoever placed it.
    void existingLinkInTarget()
    {
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkpath(QStringLiteral("outside")));
        QVERIFY(QDir(work.path()).mkpath(QStringLiteral("out")));
        QVERIFY(QFile::link(work.filePath(QStringLiteral("outside")),
                            work.filePath(QStringLiteral("out/link"))));
        const QString archive = m_dir.filePath(QStringLiteral("through.zip"));
        makeFixtureZip(archive, {{"link/evil.txt", "x"}, {"fine.txt", "y"}});
        DCL dcl = baseDcl();
        dcl.ndflag = 1;
        dcl.noflag = 1;
        const Outcome out =
            callEngine(Mode::Extract, archive, {}, dcl, work.filePath(QStringLiteral("out")));
        QCOMPARE(out.rc, int(PK_ERR));
        QCOMPARE(out.messages,
                 QStringList{"error: link/evil.txt: name leads outside the target folder"});
        QCOMPARE(tree(work.path()), (QStringList{"out/", "out/fine.txt", "out/link@", "outside/"}));
    }

    void extractInfoZipArchive()
    {
        QTemporaryDir work;
        const QString src = work.filePath(QStringLiteral("src"));
        QVERIFY(QDir().mkpath(src + "/docs/deep"));
        testsupport::writeFile(src + "/docs/deep/Note.TXT", allByteValues());
        testsupport::writeFile(src + "/readme.txt", "read me\r\n");
        testsupport::writeFile(src + "/secret.txt", "secret");
        const QString archive = work.filePath(QStringLiteral("info.zip"));
        QCOMPARE(testsupport::run(QStringLiteral("zip"),
                                  {"-q", "-r", archive, "docs", "readme.txt"}, nullptr, src),
                 0);
        QCOMPARE(testsupport::run(QStringLiteral("zip"), {"-q", "-P", "pw", archive, "secret.txt"},
                                  nullptr, src),
                 0);
        DCL dcl = baseDcl();
        dcl.ndflag = 1;
        const QString target = work.filePath(QStringLiteral("out"));
        const Outcome out = callEngine(Mode::Extract, archive, {}, dcl, target);
        QCOMPARE(out.rc, int(PK_PASSWORD));
        QCOMPARE(out.messages, QStringList{"warning: secret.txt: encrypted, no password"});
        QCOMPARE(tree(target),
                 (QStringList{"docs/", "docs/deep/", "docs/deep/Note.TXT", "readme.txt"}));
        QCOMPARE(testsupport::readFile(target + "/docs/deep/Note.TXT"), allByteValues());
        QCOMPARE(out.serviced, (QStringList{"docs/", "docs/deep/", "docs/deep/Note.TXT",
                                            "readme.txt", "secret.txt"}));

        // Delivery of the encrypted member.
        const Outcome secret = ::deliver(archive, QStringLiteral("SECRET.TXT"));
        QCOMPARE(secret.rc, int(PK_PASSWORD));
        QCOMPARE(secret.captured, QByteArray("warning: secret.txt: encrypted, no password\n"));
    }

    void cancelFromService()
    {
        QTemporaryDir work;
        const QString archive = work.filePath(QStringLiteral("c.zip"));
        makeFixtureZip(archive, {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
        const QString target = work.filePath(QStringLiteral("out"));
        const Outcome out = callEngine(Mode::Extract, archive, {}, baseDcl(), target,
                                       [](const QString &name) { return name != "two.txt"; });
        QCOMPARE(out.rc, int(IZ_CTRLC));
        QCOMPARE(out.serviced, (QStringList{"one.txt", "two.txt"}));
        QCOMPARE(tree(target), QStringList{"one.txt"});
    }

    // Every member named one by one ("Unzip all") where all members answer one name: the
    // user can cancel while the engine still selects.
    void cancelWhileSelectingAlikeNames()
    {
        QTemporaryDir work;
        const QString archive = work.filePath(QStringLiteral("same.zip"));
        QCOMPARE(testsupport::python(QStringLiteral("import sys, zipfile, warnings\n"
                                                    "warnings.simplefilter('ignore')\n"
                                                    "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                                    "    for i in range(3000):\n"
                                                    "        z.writestr('same.txt', b'x')\n"),
                                     {archive}),
                 0);
        const QString target = work.filePath(QStringLiteral("out"));
        const QStringList names(3000, QStringLiteral("same.txt"));
        const Outcome out = callEngine(Mode::Extract, archive, names, baseDcl(), target,
                                       [](const QString &) { return false; });
        QCOMPARE(out.rc, int(IZ_CTRLC));
        QCOMPARE(out.serviced, QStringList{QString()});
        QCOMPARE(tree(target), QStringList());
    }

    void noTargetFolder()
    {
        const QString archive = m_dir.filePath(QStringLiteral("t.zip"));
        makeFixtureZip(archive, {{"one.txt", "1"}});
        QCOMPARE(callEngine(Mode::Extract, archive, {}, baseDcl(), QString()).rc, int(PK_PARAM));
    }

    void emptyArchive()
    {
        const QString archive = path(QStringLiteral("empty.zip"));
        testsupport::makeZip(archive, {});
        QCOMPARE(callEngine(Mode::List, archive, {}, baseDcl()).rc, 0);
        QCOMPARE(::deliver(archive, QStringLiteral("file_id.diz")).rc, int(PK_FIND));
    }
};

QTEST_GUILESS_MAIN(TestEngineUnzip)
#include "tst_engine_unzip.moc"
