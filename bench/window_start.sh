#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's start: the time from spawning the program to its first painted frame, the first
# "Flushing top level" line of Qt's widget painting log, against a minimal Qt Widgets window
# (one QWidget shown) measured the same way. Offscreen platform unless QT_QPA_PLATFORM says
# otherwise; the program starts in an empty folder of its own. Medians of RUNS interleaved
# runs (wall time: the user waits for the frame).
# Usage: bench/window_start.sh [BUILD_DIR]      RUNS (default 21)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
program=$(realpath -m "$build/bin/quoril")
[ -x "$program" ] || { echo "quoril not found at $program" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/minimal.cpp" <<'CPP'
#include <QApplication>
#include <QWidget>
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 480);
    window.show();
    return app.exec();
}
CPP
# shellcheck disable=SC2046
c++ -O2 -fPIC "$work/minimal.cpp" -o "$work/minimal" $(pkg-config --cflags --libs Qt6Widgets)
mkdir -p "$work/home"

python3 - "${RUNS:-21}" "$program" "$work/minimal" "$work/home" <<'PY'
import os, signal, statistics, subprocess, sys, time
runs, program, minimal, home = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
env = dict(os.environ, QT_LOGGING_RULES='qt.widgets.painting=true',
           QT_QPA_PLATFORM=os.environ.get('QT_QPA_PLATFORM', 'offscreen'))

def first_frame(argv):
    start = time.perf_counter()
    child = subprocess.Popen(argv, cwd=home, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True, errors='replace')
    try:
        for line in child.stderr:
            if 'Flushing top level' in line:
                return (time.perf_counter() - start) * 1000
        sys.exit('%s ended without painting' % argv[0])
    finally:
        child.send_signal(signal.SIGKILL)
        child.wait()

ours, base = [], []
for i in range(runs + 2):
    a, b = first_frame([program]), first_frame([minimal])
    if i >= 2:
        ours.append(a)
        base.append(b)
qa, qb = statistics.median(ours), statistics.median(base)
print('first painted frame: quoril %.1f ms, minimal Qt Widgets window %.1f ms, ratio %.2f '
      '(median of %d)' % (qa, qb, qa / qb, runs))
PY
