// SPDX-License-Identifier: GPL-3.0-or-later
// Query speed of the collection index: fills an index with COUNT descriptions made of words
// drawn from a fixed vocabulary (plus a few accented ones), then times each query of the
// command line through the same search call the command-line tool and the window use.
// Usage: bench_search INDEX_FILE COUNT QUERY...   prints one line per query: hits and ms.
#include "catalog/catalog.h"
#include "catalog/store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fputs("usage: bench_search INDEX_FILE COUNT QUERY...\n", stderr);
        return 2;
    }
    const int count = args.at(2).toInt();
    catalog::Index index(args.at(1));
    if (index.entries({{"/bench", true}}).size() != count) {
        QRandomGenerator random(42);
        QStringList words;
        for (int i = 0; i < 20000; ++i) {
            QString word;
            for (int k = 0, n = 3 + random.bounded(7); k < n; ++k)
                word += QChar(u'a' + random.bounded(26));
            words << word;
        }
        words << QStringLiteral("café") << QStringLiteral("über") << QStringLiteral("dragon");
        index.store().begin();
        for (int i = 0; i < count; ++i) {
            catalog::Entry e;
            e.path =
                "/bench/" + QByteArray::number(i / 1000) + "/game" + QByteArray::number(i) + ".zip";
            e.members = 100;
            e.member = QStringLiteral("file_id.diz");
            QStringList lines;
            for (int l = 0; l < 8; ++l) {
                QStringList line;
                for (int w = 0; w < 8; ++w)
                    line << words.at(random.bounded(words.size()));
                lines << line.join(QLatin1Char(' '));
            }
            e.description = lines.join(QLatin1Char('\n'));
            index.store().add(e, 0);
        }
        index.store().commit();
    }
    // Wall time suffers on a busy machine; the thread's CPU time does not. Both are the median
    // of seven runs.
    auto cpuMs = [] {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    };
    for (const QString &text : args.mid(3)) {
        const catalog::Query query = catalog::Query::parse(text);
        std::vector<double> wall, cpu;
        qsizetype hits = 0;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer clock;
            clock.start();
            const double cpuStart = cpuMs();
            hits = catalog::search(index, query, {{"/bench", true}}).size();
            cpu.push_back(cpuMs() - cpuStart);
            wall.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("%-24s %7lld hits  median %7.2f ms wall %7.2f ms cpu\n", qPrintable(text),
                    static_cast<long long>(hits), wall[3], cpu[3]);
    }
    return 0;
}
