// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the extraction dialog over a large archive and prints the time until the first
// listing row is shown and until the first file of "Unzip !" (all) is written.
#include "archive/unzipdialog.h"
#include "archive/waitwindow.h"
#include "common/timezone.h"
#include "zipengine/zipengine.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <cstdio>

// A memory figure of /proc/self/status ("VmHWM:" the peak so far, "VmRSS:" now), in MB.
static long statusMb(const char *field = "VmHWM:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

int main(int argc, char **argv)
{
    timezone_setup::nameSystemZone(); // as the program does at its start
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE EMPTY-FOLDER\n", argv[0]);
        return 2;
    }
    if (const QString problem = ZipEngine::load(QCoreApplication::applicationDirPath());
        !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    const QString archive = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    TFrmWaitZip wait;
    TFrmUnzip dialog(&wait);
    dialog.setArchivePathSource([&] { return archive; });
    auto *model = dialog.findChild<QAbstractItemView *>(QStringLiteral("FilesList"))->model();

    QElapsedTimer clock;
    qint64 firstRow = -1;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, [&] {
        if (firstRow < 0)
            firstRow = clock.elapsed();
    });
    clock.start();
    dialog.show();
    const qint64 shown = clock.elapsed();
    while (firstRow < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    dialog.waitForListing();
    const qint64 listed = clock.elapsed();
    const int rows = model->rowCount();
    const long listingPeak = statusMb();

    // A watcher notes the first file written and cancels the rest through the wait window.
    std::atomic<qint64> firstFile{-1};
    dialog.findChild<QLineEdit *>(QStringLiteral("T_Dir"))->setText(out);
    QElapsedTimer unzipClock;
    unzipClock.start();
    QThread *watcher = QThread::create([&] {
        while (QDir(out).isEmpty() && !wait.cancelled())
            QThread::msleep(5); // a finer poll would compete with the extraction
        firstFile = unzipClock.elapsed();
        QMetaObject::invokeMethod(
            &wait, [&] { wait.close(); }, Qt::QueuedConnection);
    });
    watcher->start();
    dialog.findChild<QPushButton *>(QStringLiteral("B_Unzip"))->click();
    watcher->wait();
    delete watcher;
    std::printf("rows %d: dialog shown after %lld ms, first row after %lld ms (goal <= 1000),"
                " whole listing %lld ms, peak %ld MB; first file written %lld ms after "
                "\"Unzip !\" (goal <= 2000), peak %ld MB\n",
                rows, shown, firstRow, listed, listingPeak, qint64(firstFile), statusMb());
    dialog.hide();
    QCoreApplication::processEvents();
    std::printf("resident after the dialog closed: %ld MB\n", statusMb("VmRSS:"));
    return 0;
}
