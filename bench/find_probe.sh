#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The find window's longest stall (goal: at most 50 ms) while it reads a new folder of COUNT
# (default 8,000) archives into a new index, answers queries, and is opened again over the
# folder it knows. A 10 ms timer on the window's thread notes the longest gap between its
# ticks (build/bin/find_probe, offscreen), and the longest the thread itself ran between two
# ticks (its processor time: on a loaded machine a gap may be other programs' turn). Prints
# each phase and the stall's ratio to the goal.
# Usage: bench/find_probe.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
probe=$build/bin/find_probe
count=${COUNT:-8000}
goal=50
[ -x "$probe" ] || { echo "find_probe not found at $probe (cmake --build build --target find_probe)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/coll" "$count" <<'PY'
import os, random, sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(3, 9)))
         for _ in range(5000)]
for i in range(count):
    sub = os.path.join(folder, 'set%02d' % (i % 40))
    os.makedirs(sub, exist_ok=True)
    with zipfile.ZipFile(os.path.join(sub, 'game%05d.zip' % i), 'w') as z:
        z.writestr('data/game.exe', b'MZ' + bytes(200))
        text = '\r\n'.join(' '.join(rnd.choice(words) for _ in range(8)) for _ in range(6))
        if i % 100 == 0:
            text += '\r\nthe dragon of the north'
        z.writestr('FILE_ID.DIZ', text)
PY

echo "find window over $count archives (goal: longest stall at most $goal ms)"
QT_QPA_PLATFORM=offscreen XDG_CACHE_HOME=$work/cache "$probe" "$work/coll" "$work/index.sqlite" |
    while IFS= read -r line; do
        stall=$(sed -n 's/.*longest stall *\([0-9]*\) ms.*/\1/p' <<<"$line")
        echo "$line, $(echo "scale=2; $stall / $goal" | bc -l) of the goal"
    done
