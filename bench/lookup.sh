#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Description lookup: `quoril-cli describe` against `unzip -p -C ARCHIVE NAME` for the same
# member, on a typical archive (500 members) and a large one (100,000 members).
#
# Each command is started RUNS times (after WARMUP untimed starts, so both find the files in
# the page cache), interleaved so that a change of the machine's load hits both alike. Per
# command it prints the median wall time and the median CPU time (user + system, as the kernel
# accounted it to the child). On a shared, busy machine the wall time mostly measures waiting
# for a core; the CPU time does not, and is the figure to compare. A C program that does
# nothing (/bin/true) is timed too: the floor of starting any process; and a program that
# does nothing but is linked with QtCore, as quoril-cli is: the floor of any such program
# (loading QtCore, ICU and glib), which bounds the small archives' ratios. The same empty
# program linked also with libzip and SQLite, as the engine and the collection index are,
# gives the start-up cost of linking them the ordinary way (the dynamic loader's work).
#
# Usage: bench/lookup.sh [BUILD_DIR]      RUNS (default 31), WARMUP (3), MEMBERS ("500 10000 100000")
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/quoril-cli
runs=${RUNS:-31}
warmup=${WARMUP:-3}
members=${MEMBERS:-500 10000 100000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_archive() { # path members
    python3 - "$1" "$2" <<'PY'
import sys, zipfile
path, n = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(n):
        z.writestr('data/file%06d.txt' % i, 'member %d\n' % i)
    z.writestr('FILE_ID.DIZ', 'A description\r\n' * 20)
PY
}

# compare RUNS WARMUP LABEL -- ours... -- peer...
compare() {
    python3 - "$@" <<'PY'
import os, statistics, sys, time

runs, warmup, label = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rest = sys.argv[5:]
split = rest.index('--')
commands = {'quoril-cli describe': rest[:split], 'unzip -p -C': rest[split + 1:],
            'true': ['/bin/true'], 'qtcore': [os.environ['QTCORE_FLOOR']],
            'linked': [os.environ['LINKED_FLOOR']]}
null = os.open(os.devnull, os.O_WRONLY)

def once(argv):
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, usage = os.wait4(pid, 0)
    wall = (time.perf_counter_ns() - start) / 1000
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit('%s failed' % ' '.join(argv))
    return wall, (usage.ru_utime + usage.ru_stime) * 1e6

samples = {name: ([], []) for name in commands}
for i in range(warmup + runs):
    for name, argv in commands.items():
        wall, cpu = once(argv)
        if i >= warmup:
            samples[name][0].append(wall)
            samples[name][1].append(cpu)
med = {name: (statistics.median(w), statistics.median(c)) for name, (w, c) in samples.items()}
ours, peer, floor = med['quoril-cli describe'], med['unzip -p -C'], med['true']
qt, linked = med['qtcore'], med['linked']
print('%s members (%d runs, median): quoril-cli describe %7.0f us wall %7.0f us cpu; '
      'unzip -p -C %7.0f us wall %7.0f us cpu; ratio wall %.2f, cpu %.2f; '
      '/bin/true %.0f us wall %.0f us cpu; empty QtCore program %.0f us cpu (ratio cpu %.2f); '
      'linking libzip and SQLite adds %.0f us cpu per process'
      % (label, runs, ours[0], ours[1], peer[0], peer[1], ours[0] / peer[0], ours[1] / peer[1],
         floor[0], floor[1], qt[1], qt[1] / peer[1], linked[1] - qt[1]))
PY
}

# The floor of a program linked with QtCore, built as quoril-cli is.
printf '#include <QString>\nint main(int argc, char **argv) { return QString::fromUtf8(argv[argc - 1]).isNull(); }\n' \
    >"$work/floor.cpp"
# shellcheck disable=SC2046
c++ -O2 -fPIC "$work/floor.cpp" -o "$work/qtcore_floor" $(pkg-config --cflags --libs Qt6Core)
# shellcheck disable=SC2046
c++ -O2 -fPIC "$work/floor.cpp" -o "$work/linked_floor" $(pkg-config --cflags --libs Qt6Core) \
    -Wl,--no-as-needed $(pkg-config --libs libzip sqlite3)
export QTCORE_FLOOR=$work/qtcore_floor LINKED_FLOOR=$work/linked_floor

for n in $members; do
    archive=$work/a$n.zip
    make_archive "$archive" "$n"
    unzip_bin=$(command -v unzip)
    compare "$runs" "$warmup" "$n" -- "$cli" describe "$archive" -- "$unzip_bin" -p -C "$archive" file_id.diz
done

# The window's path: the lookup in-process, on fresh copies of the largest archive.
largest=${members##* }
c++ -O2 -std=c++20 -I"$top" "$top/bench/inprocess_lookup.cpp" -o "$work/inprocess" -ldl
copies=()
for i in $(seq 9); do
    cp "$work/a$largest.zip" "$work/copy$i.zip"
    copies+=("$work/copy$i.zip")
done
printf '%s members: ' "$largest"
"$work/inprocess" "$build/bin/libquorilzip.so" "${copies[@]}"
