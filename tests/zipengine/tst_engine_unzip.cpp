#include "tests/support/testsupport.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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

    void missingArchive()
    {
        const Outcome out = ::deliver(path(QStringLiteral("nowhere.zip")), QStringLiteral("x"));
        QCOMPARE(out.rc, int(PK_NOZIP));
        QVERIFY(out.captured.endsWith(": no such file\n"));
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
