// SPDX-License-Identifier: GPL-3.0-or-later
// The window's lookup in-process: loads the engine as the program does and times the attempt
// loop of an Auto select lookup (five names) on archives the engine never read before. Each
// file is read once before its lookup is timed, so that it is in the page cache as for the
// command-line comparisons (the kernel may have dropped a copy made a while ago; reading it
// from disk would be timed otherwise). Prints the median CPU and wall time in milliseconds.
// Built and run by bench/lookup.sh.
// Usage: inprocess_lookup ENGINE ARCHIVE...   (each archive a distinct file)
#include "zipengine/records.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

double ms(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int discard(char *, unsigned long length)
{
    return static_cast<int>(length);
}

// Reads the whole file, so that the kernel holds it in the page cache.
void readOnce(const char *path)
{
    const int fd = open(path, O_RDONLY);
    if (fd < 0)
        return;
    static char buffer[1 << 16];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    close(fd);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const double loadStart = ms(CLOCK_PROCESS_CPUTIME_ID);
    void *engine = dlopen(argv[1], RTLD_NOW);
    if (!engine) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    const double loadCpu = ms(CLOCK_PROCESS_CPUTIME_ID) - loadStart;
    auto unzip = reinterpret_cast<WizSingleEntryUnzipFn>(dlsym(engine, "Wiz_SingleEntryUnzip"));
    // Nothing found under the first four names: every attempt runs.
    const char *names[] = {"readme.txt", "GAME.txt", "info.nfo", "my.txt", "file_id.diz"};
    std::vector<double> cpu, wall;
    for (int a = 2; a < argc; ++a) {
        USERFUNCTIONS uf = {};
        uf.print = discard;
        DCL dcl = {};
        dcl.ncflag = 1;
        dcl.nUflag = 1;
        dcl.C_flag = 1;
        dcl.fQuiet = 2;
        dcl.fPrivilege = 1;
        char empty[] = "";
        dcl.lpszZipFN = argv[a];
        dcl.lpszExtractDir = empty;
        readOnce(argv[a]);
        const double c0 = ms(CLOCK_PROCESS_CPUTIME_ID), w0 = ms(CLOCK_MONOTONIC);
        for (const char *name : names) {
            char *include = const_cast<char *>(name);
            if (unzip(1, &include, 0, nullptr, &dcl, &uf) == 0)
                break;
        }
        cpu.push_back(ms(CLOCK_PROCESS_CPUTIME_ID) - c0);
        wall.push_back(ms(CLOCK_MONOTONIC) - w0);
    }
    std::printf("in-process lookup (5 names, %zu archives, median): %.2f ms cpu, %.2f ms wall; "
                "loading the engine %.2f ms cpu\n",
                cpu.size(), median(cpu), median(wall), loadCpu);
    return 0;
}
