// SPDX-License-Identifier: GPL-3.0-or-later
// The interface's wait when the user selects an archive: selects a small neighbour first, then
// each archive given on the command line, in the real main window, and prints how long each
// selection held the interface thread (the description looked up and shown), in
// milliseconds, and their median. Run by bench/select.sh.
#include "app/mainwindow.h"
#include "zipengine/zipengine.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList archives = app.arguments().mid(1);
    QTextStream out(stdout);
    if (archives.size() < 2) {
        out << "usage: bench_select NEIGHBOUR ARCHIVE..." << Qt::endl;
        return 2;
    }
    const QString neighbour = archives.takeFirst();
    // The program keeps its settings in the working folder of its start.
    QDir::setCurrent(QFileInfo(neighbour).absolutePath());
    const QString message = ZipEngine::load(QCoreApplication::applicationDirPath());
    if (!message.isEmpty()) {
        out << message << Qt::endl;
        return 1;
    }
    TMain window;
    window.CreateSecondaryWindows();
    window.show();
    QList<double> times;
    for (const QString &archive : archives) {
        window.SelectPath(neighbour);
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        window.SelectPath(archive);
        QCoreApplication::processEvents();
        times << timer.nsecsElapsed() / 1e6;
    }
    QList<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    out << "selection of each archive (ms):";
    for (const double t : times)
        out << ' ' << QString::number(t, 'f', 1);
    out << "; median " << QString::number(sorted.at(sorted.size() / 2), 'f', 1) << " ms"
        << Qt::endl;
    return 0;
}
