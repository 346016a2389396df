// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"
#include "zipengine/callbacks.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

// The program's side of the engine boundary: listing lines and the refusal of nested calls.
class TestEngineProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(loadEngine()); }

    void listingLineFormat_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<QString>("line");
        QTest::newRow("four digits") << quint64(1234) << "   1234  03-05-99 10:07  readme.txt";
        QTest::newRow("wider than seven columns")
            << quint64(12345678) << "12345678  03-05-99 10:07  readme.txt";
    }

    void listingLineFormat()
    {
        QFETCH(quint64, size);
        QFETCH(QString, line);
        ListingEntry entry;
        entry.size = size;
        entry.month = 3;
        entry.day = 5;
        entry.year = 99;
        entry.hour = 10;
        entry.minute = 7;
        entry.name = QStringLiteral("readme.txt");
        QCOMPARE(listingLine(entry), line);
    }

    // While a long call runs, events handled from its progress callback may try another
    // engine call; the engine is not re-entrant, so that call is refused and the first one
    // finishes as if nothing happened.
    void nestedCallIsRefused()
    {
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("a.txt"));
        writeFile(input, "some text");
        const QString archive = dir.filePath(QStringLiteral("new.zip"));
        makeZip(dir.filePath(QStringLiteral("other.zip")), {{QStringLiteral("x"), "x"}});

        int nested = -1;
        bool busyInside = false;
        EngineSink sink;
        sink.onService = [&](const QString &, uint64_t) {
            busyInside = ZipEngine::isBusy();
            DCL dcl = blankDcl();
            dcl.nvflag = 1;
            EngineText other(dir.filePath(QStringLiteral("other.zip")));
            dcl.lpszZipFN = other.get();
            USERFUNCTIONS functions;
            FillUserFunctions(functions);
            nested = ZipEngine::Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &dcl, &functions);
            return true;
        };
        ZIPUSERFUNCTIONS zipFunctions;
        FillZipUserFunctions(zipFunctions);
        ZPOPT options = ZipEngine::ZpGetOptions();
        options.fJunkDir = -1;
        QVERIFY(ZipEngine::ZpSetOptions(&options));
        int rc;
        {
            EngineSinkScope scope(sink);
            ZipEngine::ZpInit(&zipFunctions);
            EngineText path(archive);
            EngineTextArray files(QStringList{input});
            rc = ZipEngine::ZpArchive(ZCL{files.count(), path.get(), files.get()});
        }
        QCOMPARE(rc, int(ZE_OK));
        QVERIFY(busyInside);
        QCOMPARE(nested, int(PK_PARAM));
        QVERIFY(!ZipEngine::isBusy());
        QCOMPARE(readMember(archive, QStringLiteral("a.txt")), QByteArray("some text"));
    }
};

QTEST_GUILESS_MAIN(TestEngineProgram)
#include "tst_engine_program.moc"
