// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipengine/zipengine.h"

#include <QTemporaryDir>
#include <QTest>

// The failures load nothing, so they run before the real engine is loaded.
class TestEngineCheck : public QObject
{
    Q_OBJECT

private slots:
    void missingEngine()
    {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        QCOMPARE(ZipEngine::load(empty.path()),
                 QStringLiteral("Cannot find libquorilzip.so.\nThe Dll must be in the application "
                                "directory, the path,\nthe Windows directory or the Windows "
                                "System directory."));
        QVERIFY(!ZipEngine::isLoaded());
    }

    void wrongVersion()
    {
        QCOMPARE(ZipEngine::load(QStringLiteral(WRONG_ENGINE_DIR)),
                 QStringLiteral("libquorilzip.so has the wrong version number.\nInsure that you "
                                "have the correct dll's installed, and that \nan older dll is "
                                "not in your path or Windows System directory."));
        QVERIFY(!ZipEngine::isLoaded());
    }

    void unloadable_data()
    {
        QTest::addColumn<QString>("folder"); // empty: a file that is not a library
        QTest::newRow("not a shared library") << QString();
        QTest::newRow("its own dependency missing") << QStringLiteral(DEPENDENT_ENGINE_DIR);
    }
    void unloadable()
    {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        if (folder.isEmpty()) {
            folder = dir.path();
            QFile fake(dir.filePath(QStringLiteral("libquorilzip.so")));
            QVERIFY(fake.open(QIODevice::WriteOnly));
            fake.write("not a shared library");
        }
        QCOMPARE(ZipEngine::load(folder), ZipEngine::notFoundMessage());
        QVERIFY(!ZipEngine::isLoaded());
    }

    void realEngine()
    {
        QCOMPARE(ZipEngine::load(QStringLiteral(QUORIL_BIN_DIR)), QString());
        QVERIFY(ZipEngine::isLoaded());
        const ZPOPT options = ZipEngine::ZpGetOptions();
        QCOMPARE(options.fLevel, '6');
    }
};

QTEST_GUILESS_MAIN(TestEngineCheck)
#include "tst_engine_check.moc"
