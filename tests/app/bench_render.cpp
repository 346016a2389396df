// SPDX-License-Identifier: GPL-3.0-or-later
// Rendering an ANSI description in the pane: reading its bytes (code page, codes), playing
// them onto the grid and painting the view, on the window's thread. Prints the median of the
// runs in milliseconds for the description file given.
#include "app/dosscreenview.h"
#include "description/text.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = file.readAll();
    TDosScreenView view;
    view.resize(640, 400);
    view.show();
    QPixmap target(view.size());
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    std::vector<double> times;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        const DescriptionText text = readDescription(bytes);
        const qint64 read = timer.nsecsElapsed();
        view.setScreen(text.screen(), font);
        const qint64 played = timer.nsecsElapsed();
        view.render(&target);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (qEnvironmentVariableIsSet("BENCH_PARTS"))
            std::fprintf(stderr, "read %.2f play %.2f paint %.2f\n", read / 1e6,
                         (played - read) / 1e6, (timer.nsecsElapsed() - played) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%.2f\n", times[times.size() / 2]);
    return 0;
}
