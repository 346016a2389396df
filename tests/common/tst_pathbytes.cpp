// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/pathbytes.h"
#include "common/textcodec.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// File names as bytes, from the directory listing to the system call.
class TestPathBytes : public QObject
{
    Q_OBJECT

private slots:
    void namesKeepTheirBytes_data();
    void namesKeepTheirBytes();
    void fileCallsUseTheBytes();
    void onlyRegularFilesAreOpened_data();
    void onlyRegularFilesAreOpened();
};

void TestPathBytes::namesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("/tmp/GAME.ZIP") << QStringLiteral("/tmp/GAME.ZIP");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9.zip") << QStringLiteral("café.zip");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9.zip") << QStringLiteral("café.zip");
    QTest::newRow("CP437 byte in the C1 range") << QByteArray("\x82t\xe9") << QStringLiteral("‚té");
    QTest::newRow("byte Windows-1252 leaves unassigned")
        << QByteArray("a\x81") << QStringLiteral("a\uFFFD");
    QTest::newRow("byte order mark at the start")
        << QByteArray("\xef\xbb\xbfname") << QStringLiteral("\uFEFFname");
    QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf") << QStringLiteral("aÀ¯");
    QTest::newRow("encoded surrogate")
        << QByteArray("\xed\xa0\x80") << QStringLiteral("í\u00A0\u20AC");
    QTest::newRow("sequence cut off at the end")
        << QByteArray("ab\xe2\x82") << QStringLiteral("abâ‚");
    QTest::newRow("above U+10FFFF")
        << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("ô\uFFFD€€");
    QTest::newRow("supplementary character next to a raw byte")
        << QByteArray("\xf0\x90\x82\x80\xe9") << QString::fromUcs4(U"\U00010080é");
}

void TestPathBytes::namesKeepTheirBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString path = pathbytes::decode(bytes);
    QCOMPARE(pathbytes::encode(path), bytes);
    QCOMPARE(pathbytes::display(path), shown);
    QCOMPARE(pathbytes::hasRawBytes(path), !textcodec::isValidUtf8(bytes));
    QCOMPARE(pathbytes::fromUrl(pathbytes::toUrl(QLatin1Char('/') + path)),
             QLatin1Char('/') + path);
    char name[] = "quoril";
    char *argv[] = {name, bytes.data()};
    QCOMPARE(pathbytes::arguments(2, argv).last(), path);
}

void TestPathBytes::fileCallsUseTheBytes()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/d\xfcr";
    QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    const QByteArray file = folder + "/caf\xe9.mp3";
    const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "audio", 5), 5);
    ::close(fd);

    QVERIFY(pathbytes::isDir(pathbytes::decode(folder)));
    QVERIFY(pathbytes::isFile(pathbytes::decode(file)));
    QVERIFY(!pathbytes::exists(pathbytes::decode(folder + "/caf\xc3\xa9.mp3")));
    QFile opened;
    QVERIFY(pathbytes::openFile(opened, pathbytes::decode(file), QIODevice::ReadOnly));
    QCOMPARE(opened.readAll(), QByteArray("audio"));

    const QByteArray previous = QFile::encodeName(QDir::currentPath());
    QCOMPARE(::chdir(folder.constData()), 0);
    const QString current = pathbytes::currentDir();
    QCOMPARE(::chdir(previous.constData()), 0);
    QCOMPARE(pathbytes::encode(current), folder);
    testsupport::removeTree(dir.path());
}

void TestPathBytes::onlyRegularFilesAreOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("device") << "device";
    QTest::newRow("folder") << "folder";
    QTest::newRow("missing") << "missing";
}

void TestPathBytes::onlyRegularFilesAreOpened()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("x.QLG"));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    else if (kind == QLatin1String("device"))
        path = QStringLiteral("/dev/zero");
    else if (kind == QLatin1String("folder"))
        path = dir.path();
    // Opening a FIFO that no one writes to would wait forever: the alarm ends a hung test.
    ::alarm(20);
    for (const auto mode : {QIODevice::ReadOnly, QIODevice::ReadWrite}) {
        QFile file;
        QVERIFY(!pathbytes::openFile(file, path, mode));
        QVERIFY(!file.isOpen());
    }
    ::alarm(0);
    QCOMPARE(pathbytes::isFile(path), false);
}

QTEST_GUILESS_MAIN(TestPathBytes)
#include "tst_pathbytes.moc"
