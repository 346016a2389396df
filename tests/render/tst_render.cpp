// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/testsupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Cli = QStringLiteral(QUORIL_BIN_DIR "/quoril-cli");
const QRgb Navy = qRgb(0, 0, 128);

// The shipped thumbnailer's Exec line, with the build's program for the installed one.
QStringList thumbnailerCommand(const QString &input, const QString &output, int size)
{
    QFile entry(qEnvironmentVariable("QUORIL_SOURCE_DIR") + "/resources/quoril.thumbnailer");
    if (!entry.open(QIODevice::ReadOnly))
        return {};
    for (QByteArray line : entry.readAll().split('\n')) {
        if (!line.startsWith("Exec="))
            continue;
        QStringList argv = QProcess::splitCommand(QString::fromUtf8(line.mid(5)));
        for (QString &arg : argv)
            arg.replace("%i", input).replace("%o", output).replace("%s", QString::number(size));
        if (!argv.isEmpty() && argv[0] == "quoril-cli")
            argv[0] = Cli;
        return argv;
    }
    return {};
}

} // namespace

// Pictures of descriptions: what the pane shows, drawn without a display, and the thumbnails
// file managers ask for through the shipped thumbnailer entry.
class TestRender : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
};

void TestRender::pictures_data()
{
    QTest::addColumn<QByteArray>("description"); // empty: none in the archive
    QTest::addColumn<int>("size");               // the thumbnail size, 0: the full picture
    QTest::addColumn<bool>("unwritable");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QSize>("expected"); // the picture's size; (0, 0): at most size x size

    // Three lines; a tab stops at 80 pixels as in the pane: 4 + 80 + 11 * 8 + 4 wide.
    const QByteArray dos("TEST GAME v1.0\r\n\xdb\xdb\xdb Block\r\n\tTabbed line\r\n");
    QTest::newRow("whole description, font pixels") << dos << 0 << false << 0 << QSize(176, 0);
    QTest::newRow("thumbnail through the Exec line") << dos << 128 << false << 0 << QSize();
    QTest::newRow("no description, no thumbnail") << QByteArray() << 128 << false << 1 << QSize();
    QTest::newRow("unwritable picture") << dos << 0 << true << 3 << QSize();
}

void TestRender::pictures()
{
    QFETCH(QByteArray, description);
    QFETCH(int, size);
    QFETCH(bool, unwritable);
    QFETCH(int, exitCode);
    QFETCH(QSize, expected);
    QTemporaryDir dir;
    const QString archive = dir.filePath("game.zip");
    QList<testsupport::Member> members{{"game.exe", QByteArray(4000, 'x')}};
    if (!description.isEmpty())
        members.append({"FILE_ID.DIZ", description});
    testsupport::makeZip(archive, members);
    const QString out = dir.filePath(unwritable ? "missing/out.png" : "out.png");
    QStringList argv =
        size ? thumbnailerCommand(archive, out, size) : QStringList{Cli, "render", archive, out};
    QVERIFY(!argv.isEmpty());
    QByteArray err;
    QCOMPARE(testsupport::run(argv.takeFirst(), argv, nullptr, dir.path(), {}, &err), exitCode);
    if (exitCode != 0) {
        QVERIFY(!QFile::exists(out));
        QVERIFY2(!err.isEmpty(), "a failure is said in words");
        return;
    }
    const QImage picture(out);
    QVERIFY(!picture.isNull());
    if (size) {
        QVERIFY(picture.width() <= size && picture.height() <= size);
        return;
    }
    QCOMPARE(picture.width(), expected.width());
    // Pixel-exact: the pane's two colours only, and the three blocks one solid navy run.
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            colours.insert(picture.pixel(x, y) & 0xffffff);
    QCOMPARE(colours, (QSet<QRgb>{Navy & 0xffffff, 0xffffff}));
    const int blockRow = picture.height() / 2;
    for (int x = 4; x < 4 + 3 * 8; ++x)
        QCOMPARE(picture.pixel(x, blockRow), Navy);
    QCOMPARE(picture.pixel(4 + 3 * 8, blockRow) & 0xffffff, 0xffffffu);
}

QTEST_GUILESS_MAIN(TestRender)
#include "tst_render.moc"
