// SPDX-License-Identifier: GPL-3.0-or-later
// The longest time the find window's thread is held up while the window reads a folder and
// answers queries: a 10 ms timer on that thread notes the longest gap between its ticks.
// Usage: find_probe FOLDER INDEX_FILE (run offscreen); prints one line per phase.
#include "common/filepath.h"
#include "find/findform.h"
#include "find/findresults.h"
#include "find/findsession.h"
#include "zipengine/zipengine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int TickMs = 10;

// The thread's own processor time in milliseconds: on a busy machine a gap between ticks may
// be other programs' turn, the time the thread itself ran between ticks is its own work.
qint64 threadMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Probe
{
    QElapsedTimer clock;
    qint64 last = 0, lastBusy = 0;
    qint64 longest = 0, longestBusy = 0;

    void tick()
    {
        const qint64 now = clock.elapsed(), busy = threadMs();
        longest = std::max(longest, now - last - TickMs);
        longestBusy = std::max(longestBusy, busy - lastBusy);
        last = now;
        lastBusy = busy;
    }
    void reset()
    {
        last = clock.elapsed();
        lastBusy = threadMs();
        longest = longestBusy = 0;
    }
};

// Runs the event loop until the session has read the folder and answered the query.
qint64 settle(TFindSession *session)
{
    QElapsedTimer took;
    took.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (!session->isIndexing() && session->isAnswered())
            loop.quit();
    });
    check.start(TickMs);
    loop.exec();
    return took.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: find_probe FOLDER INDEX_FILE\n");
        return 2;
    }
    const QString engine = ZipEngine::load(QCoreApplication::applicationDirPath());
    if (!engine.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(engine));
        return 2;
    }
    TFindForm form(nullptr, QString::fromLocal8Bit(argv[2]));
    auto *query = form.findChild<QLineEdit *>(QStringLiteral("E_Query"));
    Probe probe;
    probe.clock.start();
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] { probe.tick(); });
    ticks.start(TickMs);

    const auto phase = [&](const char *name, const std::function<void()> &step) {
        probe.reset();
        step();
        const qint64 took = settle(form.session());
        std::printf("%-28s %6lld ms, longest stall %4lld ms (thread busy %3lld ms), %d rows\n",
                    name, qint64(took), qint64(probe.longest), qint64(probe.longestBusy),
                    form.session()->results()->rowCount());
    };
    const TFilePath folder = TFilePath::fromPath(QString::fromLocal8Bit(argv[1]));
    phase("first reading (new index)", [&] {
        form.start(folder);
        query->setText(QStringLiteral("dragon"));
    });
    phase("queries while up to date", [&] { query->setText(QStringLiteral("d*")); });
    phase("opened again (up to date)", [&] { form.start(folder); });
    phase("other query", [&] { query->setText(QStringLiteral("north -dragon")); });
    return 0;
}
