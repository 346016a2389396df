// SPDX-License-Identifier: GPL-3.0-or-later
// The archive operations against archives made by Python's zipfile and Info-ZIP zip, checked
// with an independent reader.

#include "archive/archiveops.h"
#include "archivefixtures.h"
#include "common/pathbytes.h"
#include "tests/support/testsupport.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace ArchiveOps;
using testsupport::readFile;
using testsupport::writeFile;

class TestArchiveOps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(testsupport::loadEngine()); }
    void init() { QVERIFY(setZipOptions(defaultZipOptions())); }

    void listingLines_data();
    void listingLines();
    void listingOfUnreadableArchive_data();
    void listingOfUnreadableArchive();
    void emptyArchiveMakesNoExtractionCall();
    void extractionKeepsExistingFile();
    void extractionPassesNamesWithFoldersBack();
    void extractionTakesManyNamesInOneCall();
    void extractionCancelledKeepsWhatWasDone();
    void zipFilesDoesNothingWithoutInput_data();
    void zipFilesDoesNothingWithoutInput();
    void zipFilesStoresPathsAndReportsMissingFiles();
    void zipFilesRefusesDuplicateLines();
    void zipFilesKeepsBlanksOfArchiveName();
    void zipFilesCancelledLeavesArchiveUnchanged();
    void largeMemberCancelledMidway_data();
    void largeMemberCancelledMidway();
    void packCancelledWhileKeptMembersAreCopied();
    void optionsFromDialog_data();
    void optionsFromDialog();
    void optionsReadBack();
    void defaultRecordAndRefusal();
    void namesInAnotherCodePage();
};

void TestArchiveOps::listingLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("line");
    QTest::newRow("1234 bytes, 5 March 1999 10:07")
        << "readme.txt" << qint64(1234) << 1999 << "   1234  03-05-99 10:07  readme.txt";
    QTest::newRow("seven digits fill the column")
        << "full.bin" << qint64(9999999) << 2010 << "9999999  03-05-10 10:07  full.bin";
    QTest::newRow("ten million widens the column")
        << "big.bin" << qint64(12345678) << 2011 << "12345678  03-05-11 10:07  big.bin";
    QTest::newRow("empty member with folder parts and blanks")
        << "docs/sub/Read Me.txt" << qint64(0) << 2003
        << "      0  03-05-03 10:07  docs/sub/Read Me.txt";
}

void TestArchiveOps::listingLines()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(int, year);
    QFETCH(QString, line);
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("a.zip"));
    DatedMember first{QStringLiteral("first.txt"), 1, 2001, 1, 2, 3, 4};
    DatedMember member{name, size, year, 3, 5, 10, 7};
    QVERIFY(makeDatedZip(zip, {first, member}));

    const Listing listing = getContents(zip);
    QCOMPARE(listing.code, int(PK_OK));
    QCOMPARE(listing.names, (QStringList{QStringLiteral("first.txt"), name}));
    QCOMPARE(listing.lines.size(), 2);
    QCOMPARE(listing.lines.at(0), QStringLiteral("      1  01-02-01 03:04  first.txt"));
    QCOMPARE(listing.lines.at(1), line);
}

void TestArchiveOps::listingOfUnreadableArchive_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("called");
    QTest::newRow("missing archive") << "missing.zip" << true;
    QTest::newRow("text file, not an archive") << "text.zip" << true;
    QTest::newRow("blank path") << "   " << false;
}

void TestArchiveOps::listingOfUnreadableArchive()
{
    QFETCH(QString, file);
    QFETCH(bool, called);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("text.zip")), "just some text, no archive\n");
    const QString path = file.trimmed().isEmpty() ? file : dir.filePath(file);
    const Listing listing = getContents(path);
    QCOMPARE(listing.engineCalled, called);
    QVERIFY(listing.lines.isEmpty());
    QVERIFY(listing.names.isEmpty());
    if (called) {
        QVERIFY(listing.code != PK_OK);
        QVERIFY(!listing.messages.isEmpty());
    }
}

void TestArchiveOps::emptyArchiveMakesNoExtractionCall()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("empty.zip"));
    QVERIFY(makeDatedZip(zip, {}));
    const Listing listing = getContents(zip);
    QCOMPARE(listing.code, int(PK_OK));
    QVERIFY(listing.names.isEmpty());

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
    ExtractRequest request;
    request.archive = zip;
    request.targetDir = dir.filePath(QStringLiteral("out"));
    request.names = listing.names;
    const ExtractReport report = unzipSelectedFiles(request);
    QVERIFY(!report.engineCalled);
    QVERIFY(report.ok());
    QVERIFY(filesBelow(request.targetDir).isEmpty());
}

void TestArchiveOps::extractionKeepsExistingFile()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("a.zip"));
    testsupport::makeZip(zip, {{QStringLiteral("a.txt"), "new a"}, {QStringLiteral("b.txt"), "b"}});
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    writeFile(out + QStringLiteral("/a.txt"), "old a");

    ExtractRequest request;
    request.archive = zip;
    request.targetDir = out;
    request.names = getContents(zip).names;
    ExtractReport report = unzipSelectedFiles(request);
    QVERIFY(report.engineCalled);
    QCOMPARE(report.code, int(PK_WARN));
    QCOMPARE(report.problems.size(), 1);
    QVERIFY2(report.problems.first().contains(QLatin1String("a.txt")),
             qPrintable(report.problems.first()));
    QVERIFY(!report.ok());
    QCOMPARE(readFile(out + QStringLiteral("/a.txt")), QByteArray("old a"));
    QCOMPARE(readFile(out + QStringLiteral("/b.txt")), QByteArray("b"));

    request.oFlag = true;
    report = unzipSelectedFiles(request);
    QVERIFY2(report.ok(), qPrintable(report.problems.join(QLatin1Char('\n'))));
    QCOMPARE(readFile(out + QStringLiteral("/a.txt")), QByteArray("new a"));
}

void TestArchiveOps::extractionPassesNamesWithFoldersBack()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("a.zip"));
    const QString src = dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(src + QStringLiteral("/docs/Sub Dir")));
    writeFile(src + QStringLiteral("/docs/Sub Dir/Read Me.txt"), "nested");
    writeFile(src + QStringLiteral("/top.txt"), "top");
    QCOMPARE(
        testsupport::run(QStringLiteral("zip"),
                         {QStringLiteral("-q"), QStringLiteral("-r"), zip, QStringLiteral(".")},
                         nullptr, src),
        0);
    const Listing listing = getContents(zip);
    QVERIFY(listing.names.contains(QStringLiteral("docs/Sub Dir/Read Me.txt")));

    const QString out = dir.filePath(QStringLiteral("out"));
    ExtractRequest request;
    request.archive = zip;
    request.targetDir = out;
    request.dFlag = true;
    request.names = {QStringLiteral("docs/Sub Dir/Read Me.txt")};
    const ExtractReport report = unzipSelectedFiles(request);
    QVERIFY2(report.ok(), qPrintable(report.problems.join(QLatin1Char('\n'))));
    QCOMPARE(filesBelow(out), QStringList{QStringLiteral("docs/Sub Dir/Read Me.txt")});
    QCOMPARE(readFile(out + QStringLiteral("/docs/Sub Dir/Read Me.txt")), QByteArray("nested"));
}

void TestArchiveOps::extractionTakesManyNamesInOneCall()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("many.zip"));
    QList<DatedMember> members;
    for (int i = 0; i < 1500; ++i)
        members.append({QStringLiteral("f%1.txt").arg(i, 4, 10, QLatin1Char('0')), 3});
    QVERIFY(makeDatedZip(zip, members));
    ExtractRequest request;
    request.archive = zip;
    request.targetDir = dir.filePath(QStringLiteral("out"));
    request.names = getContents(zip).names;
    QCOMPARE(request.names.size(), 1500);
    int calls = 0;
    int lastTotal = 0;
    const ExtractReport report =
        unzipSelectedFiles(request, [&](const QString &name, int index, int total) {
            if (name.isEmpty()) // still selecting: asks only whether to go on
                return true;
            [&] { QCOMPARE(index, calls); }();
            ++calls;
            lastTotal = total;
            return true;
        });
    QVERIFY2(report.ok(), qPrintable(report.problems.join(QLatin1Char('\n'))));
    QCOMPARE(calls, 1500);
    QCOMPARE(lastTotal, 1500);
    QCOMPARE(filesBelow(request.targetDir).size(), 1500);
}

void TestArchiveOps::extractionCancelledKeepsWhatWasDone()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("a.zip"));
    QVERIFY(makeDatedZip(zip, {{QStringLiteral("1.txt"), 5},
                               {QStringLiteral("2.txt"), 5},
                               {QStringLiteral("3.txt"), 5},
                               {QStringLiteral("4.txt"), 5}}));
    ExtractRequest request;
    request.archive = zip;
    request.targetDir = dir.filePath(QStringLiteral("out"));
    request.names = getContents(zip).names;
    const ExtractReport report =
        unzipSelectedFiles(request, [](const QString &, int index, int) { return index < 2; });
    QVERIFY(report.cancelled);
    QVERIFY(!report.ok());
    QCOMPARE(filesBelow(request.targetDir), (QStringList{"1.txt", "2.txt"}));
}

void TestArchiveOps::zipFilesDoesNothingWithoutInput_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("blank archive name") << " \t " << QStringList{"x.txt"};
    QTest::newRow("empty list") << "out.zip" << QStringList{};
}

void TestArchiveOps::zipFilesDoesNothingWithoutInput()
{
    QFETCH(QString, archive);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    const ZipReport report = zipFiles(archive, files);
    QVERIFY(!report.engineCalled);
    QVERIFY(report.ok());
}

void TestArchiveOps::zipFilesStoresPathsAndReportsMissingFiles()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(src + QStringLiteral("/sub")));
    writeFile(src + QStringLiteral("/one.txt"), "one");
    writeFile(src + QStringLiteral("/sub/two.txt"), "two");
    const QString zip = dir.filePath(QStringLiteral("out.zip"));
    const QString missing = src + QStringLiteral("/missing.txt");

    const ZipReport report =
        zipFiles(zip, {src + QStringLiteral("/one.txt"), missing, src + QStringLiteral("/sub")});
    QVERIFY(report.engineCalled);
    QVERIFY(!report.ok());
    QVERIFY(!report.stopped()); // written, with the missing file left out
    QCOMPARE(report.lines.size(), 1);
    QVERIFY2(report.lines.first().contains(QLatin1String("missing.txt")),
             qPrintable(report.lines.first()));

    QString stored = src.mid(1); // paths are stored without the leading "/"
    const QStringList names = testsupport::memberNames(zip);
    QVERIFY(names.contains(stored + QStringLiteral("/one.txt")));
    QVERIFY(names.contains(stored + QStringLiteral("/sub/two.txt")));
    QCOMPARE(testsupport::readMember(zip, stored + QStringLiteral("/sub/two.txt")),
             QByteArray("two"));
}

void TestArchiveOps::zipFilesRefusesDuplicateLines()
{
    // Two different files that would be stored under one name: refused, reported, nothing
    // written.
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("one"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("two"))));
    writeFile(dir.filePath(QStringLiteral("one/same.txt")), "1");
    writeFile(dir.filePath(QStringLiteral("two/same.txt")), "2");
    ZPOPT options = defaultZipOptions();
    options.fJunkDir = -1;
    QVERIFY(setZipOptions(options));
    const QString zip = dir.filePath(QStringLiteral("dup.zip"));
    const ZipReport report = zipFiles(zip, {dir.filePath(QStringLiteral("one/same.txt")),
                                            dir.filePath(QStringLiteral("two/same.txt"))});
    QVERIFY(report.engineCalled);
    QCOMPARE(report.code, int(ZE_PARMS));
    QVERIFY(report.stopped());
    QVERIFY(!report.lines.isEmpty());
    QVERIFY(!QFile::exists(zip));
}

void TestArchiveOps::zipFilesKeepsBlanksOfArchiveName()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.txt"));
    writeFile(file, "f");
    ZPOPT options = defaultZipOptions();
    options.fJunkDir = -1;
    QVERIFY(setZipOptions(options));
    const QString zip = dir.filePath(QStringLiteral("blank.zip  "));
    const ZipReport report = zipFiles(zip, {file});
    QVERIFY2(report.ok(), qPrintable(report.lines.join(QLatin1Char('\n'))));
    QVERIFY(QFile::exists(zip));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("blank.zip"))));
    QCOMPARE(testsupport::memberNames(zip), QStringList{QStringLiteral("f.txt")});
}

void TestArchiveOps::zipFilesCancelledLeavesArchiveUnchanged()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("keep.zip"));
    testsupport::makeZip(zip, {{QStringLiteral("old.txt"), "old"}});
    const QByteArray before = readFile(zip);
    QStringList files;
    for (int i = 0; i < 5; ++i) {
        files << dir.filePath(QStringLiteral("n%1.txt").arg(i));
        writeFile(files.last(), "new");
    }
    int calls = 0;
    const ZipReport report = zipFiles(zip, files, [&](const QString &, int, int total) {
        [&] { QCOMPARE(total, 5); }();
        return ++calls < 3;
    });
    QVERIFY(report.cancelled);
    QCOMPARE(report.code, int(ZE_ABORT));
    QCOMPARE(readFile(zip), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 6); // no temporary file left
}

void TestArchiveOps::largeMemberCancelledMidway_data()
{
    QTest::addColumn<bool>("pack");
    QTest::newRow("extraction leaves no partial file") << false;
    QTest::newRow("pack leaves the archive as it was") << true;
}

// One large member or file reports its bytes while it is written, and a cancel half-way
// through it leaves nothing of it behind.
void TestArchiveOps::largeMemberCancelledMidway()
{
    QFETCH(bool, pack);
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    const QString zip = dir.filePath(QStringLiteral("big.zip"));
    QVERIFY(makeLargeFile(big, 24, pack ? QString() : zip));
    if (pack)
        testsupport::makeZip(zip, {{QStringLiteral("old.txt"), "old"}});
    const QByteArray before = readFile(zip);
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));

    QList<uint64_t> seen;
    const MemberProgress member = [&](const QString &name, uint64_t done, uint64_t size) {
        [&] {
            QVERIFY2(name.endsWith(QLatin1String("big.bin")), qPrintable(name));
            QCOMPARE(size, uint64_t(24) << 20);
        }();
        seen << done;
        return done < size / 2;
    };
    bool cancelled = false;
    if (pack) {
        cancelled = zipFiles(zip, {big}, {}, member).cancelled;
        QCOMPARE(readFile(zip), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"big.bin", "big.zip"}));
    } else {
        ExtractRequest request;
        request.archive = zip;
        request.targetDir = out;
        request.names = QStringList{QStringLiteral("big.bin")};
        cancelled = unzipSelectedFiles(request, {}, member).cancelled;
        QCOMPARE(filesBelow(out), QStringList());
    }
    QVERIFY(cancelled);
    QVERIFY2(seen.size() >= 3, qPrintable(QString::number(seen.size())));
    QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
    QVERIFY(seen.first() > 0 && seen.last() < (uint64_t(24) << 20));
}

// Adding a small file to an archive with a large member: the engine copies the member at the
// end, and the caller gets its turn during that copy (before the new file is even announced),
// so that the wait can be cancelled there.
void TestArchiveOps::packCancelledWhileKeptMembersAreCopied()
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    const QString zip = dir.filePath(QStringLiteral("big.zip"));
    QVERIFY(makeLargeFile(big, 24, zip));
    QVERIFY(QFile::remove(big));
    QFile small(dir.filePath(QStringLiteral("small.txt")));
    QVERIFY(small.open(QIODevice::WriteOnly) && small.write("small") == 5);
    small.close();
    ZPOPT options = defaultZipOptions();
    QVERIFY(ZipEngine::ZpSetOptions(&options));
    const QByteArray before = readFile(zip);

    QStringList turns;
    const Progress progress = [&](const QString &name, int, int) {
        turns << name;
        return false;
    };
    QVERIFY(zipFiles(zip, {small.fileName()}, progress, {}).cancelled);
    QCOMPARE(turns, QStringList{QString()});
    QCOMPARE(readFile(zip), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"big.zip", "small.txt"}));
}

void TestArchiveOps::optionsFromDialog_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<char>("stored");
    QTest::newRow("empty level box stores 6") << "" << '6';
    QTest::newRow("9 stores 9") << "9" << '9';
    QTest::newRow("12 stores its first character") << "12" << '1';
    QTest::newRow("x is passed on as typed") << "x" << 'x';
}

void TestArchiveOps::optionsFromDialog()
{
    QFETCH(QString, level);
    QFETCH(char, stored);
    ZipOptionsState all;
    all.system = all.volume = all.junkDir = all.recurseDir = all.latestTime = all.grow = true;
    all.move = all.deleteEntries = all.update = all.freshen = true;
    all.level = level;
    ZPOPT on = optionsFromDialogState(all);
    QCOMPARE(on.fLevel, stored);
    for (ZFLAG flag : {on.fSystem, on.fVolume, on.fJunkDir, on.fLatestTime, on.fGrow, on.fMove,
                       on.fDeleteEntries, on.fUpdate, on.fFreshen})
        QCOMPARE(flag, ZFLAG(-1));
    QCOMPARE(on.fRecurse, 1);
    for (ZFLAG never : {on.fTemp, on.fExtra, on.fEncrypt, on.fQuiet, on.fVerbose, on.fRepair})
        QCOMPARE(never, ZFLAG(0));
    ZipOptionsState expected = all;
    expected.level = QString(QLatin1Char(stored));
    QCOMPARE(dialogStateFromOptions(on), expected);

    ZipOptionsState none;
    none.level = level;
    const ZPOPT off = optionsFromDialogState(none);
    QCOMPARE(off.fRecurse, 0);
    QCOMPARE(off.fGrow, ZFLAG(0));
    QCOMPARE(off.fJunkDir, ZFLAG(0));

    // The engine takes digits and refuses anything else, keeping what it held.
    QCOMPARE(setZipOptions(off), stored >= '0' && stored <= '9');
    if (stored >= '0' && stored <= '9')
        QCOMPARE(ZipEngine::ZpGetOptions().fLevel, stored);
    else
        QCOMPARE(ZipEngine::ZpGetOptions().fLevel, '6');
}

void TestArchiveOps::optionsReadBack()
{
    ZPOPT options = defaultZipOptions();
    options.fJunkDir = 1; // any non-zero flag counts as on
    options.fRecurse = 2; // recursion only for exactly 1
    options.fGrow = 0;
    const ZipOptionsState state = dialogStateFromOptions(options);
    QVERIFY(state.junkDir);
    QVERIFY(!state.recurseDir);
    QVERIFY(!state.grow);
    QCOMPARE(state.level, QStringLiteral("6"));
}

void TestArchiveOps::defaultRecordAndRefusal()
{
    ZipOptionsState changed;
    changed.junkDir = true;
    changed.level = QStringLiteral("2");
    QVERIFY(setZipOptions(optionsFromDialogState(changed)));
    QVERIFY(setZipOptions(defaultZipOptions()));
    ZipOptionsState expected;
    expected.grow = true;
    expected.recurseDir = true;
    expected.level = QStringLiteral("6");
    QCOMPARE(dialogStateFromOptions(ZipEngine::ZpGetOptions()), expected);
}

// A name stored as its bytes, neither ASCII nor flagged UTF-8: CP866 "ПРИВЕТ" in a folder.
void TestArchiveOps::namesInAnotherCodePage()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("ru.zip"));
    QCOMPARE(testsupport::python(
                 QStringLiteral("import sys, zipfile\n"
                                "zipfile.ZipFile(sys.argv[1], 'w').writestr('d/XXXXXX', 'x')\n"
                                "b = open(sys.argv[1], 'rb').read()\n"
                                "b = b.replace(b'XXXXXX', bytes.fromhex('8f9088828592'))\n"
                                "open(sys.argv[1], 'wb').write(b)\n"),
                 {zip}),
             0);
    const ArchiveOps::Listing listing = ArchiveOps::getContents(zip);
    QCOMPARE(listing.names.size(), 1);
    QCOMPARE(ArchiveOps::displayName(listing.names[0], dostext::CodePage::Cp866), u"d/ПРИВЕТ");
    QCOMPARE(ArchiveOps::displayName(u"d/日本.txt"_qs, dostext::CodePage::Cp866), u"d/日本.txt");
    ArchiveOps::ExtractRequest request;
    request.archive = zip;
    request.targetDir = dir.filePath(QStringLiteral("out"));
    request.dFlag = true;
    request.names = listing.names;
    request.namesPage = dostext::CodePage::Cp866;
    QVERIFY(ArchiveOps::unzipSelectedFiles(request).ok());
    QCOMPARE(testsupport::readFile(dir.filePath(QStringLiteral("out/d/ПРИВЕТ"))), "x");
}

QTEST_GUILESS_MAIN(TestArchiveOps)
#include "tst_archiveops.moc"
