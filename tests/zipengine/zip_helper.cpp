// SPDX-License-Identifier: GPL-3.0-or-later
// A small program that runs one ZpArchive, for tests that need the engine in a process of its
// own (a commit killed half-way). Usage:
//   zip_helper ENGINE_FOLDER ARCHIVE [-flags LETTERS] [-level DIGIT] NAME...
// Letters: u update, f freshen, d delete entries, m move, j junk paths, n no recursion,
// s system and hidden files, l latest time. Message lines go to stderr; the exit code is
// the engine's result. "started" is printed on stdout when the first file is being added.

#include "tests/zipengine/flagletters.h"
#include "zipengine/callbacks.h"
#include "zipengine/zipengine.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: zip_helper ENGINE_FOLDER ARCHIVE [options] NAME...\n");
        return 100;
    }
    const QString message = ZipEngine::load(QString::fromLocal8Bit(argv[1]));
    if (!message.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return 101;
    }
    ZPOPT options = ZipEngine::ZpGetOptions();
    std::vector<char *> names;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-level") && i + 1 < argc) {
            options.fLevel = argv[++i][0];
        } else if (!std::strcmp(argv[i], "-flags") && i + 1 < argc) {
            for (const char *c = argv[++i]; *c; ++c) {
                applyFlagLetter(options, *c);
            }
        } else {
            names.push_back(argv[i]);
        }
    }
    if (!ZipEngine::ZpSetOptions(&options)) {
        std::fprintf(stderr, "options refused\n");
        return 102;
    }
    ZIPUSERFUNCTIONS functions;
    FillZipUserFunctions(functions);
    ZipEngine::ZpInit(&functions);

    EngineSink sink;
    sink.onService = [](const QString &, uint64_t) {
        std::printf("started\n");
        std::fflush(stdout);
        return true;
    };
    EngineSinkScope scope(sink);
    ZCL command;
    command.Argc = static_cast<int32_t>(names.size());
    command.lpszZipFN = argv[2];
    command.FNV = names.data();
    const int result = ZipEngine::ZpArchive(command);
    for (const QString &line : sink.messages)
        std::fprintf(stderr, "%s\n", qPrintable(line));
    return result;
}
