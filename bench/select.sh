#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's wait on a large archive: how long selecting an archive of MEMBERS members holds
# the interface thread, in the real main window (offscreen), from the selection until its
# description is shown. Each archive is a fresh copy the engine never read; before each, a
# small neighbour in the same folder is selected. The interface should never be held for
# more than 16 ms (one frame).
# Usage: bench/select.sh [BUILD_DIR]      MEMBERS (default 100000), COPIES (9)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
bench=$build/bin/bench_select
members=${MEMBERS:-100000}
copies=${COPIES:-9}
[ -x "$bench" ] || { echo "bench_select not found at $bench (build the target bench_select)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$members" "$copies" <<'PY'
import shutil, sys, zipfile
folder, n, copies = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with zipfile.ZipFile(folder + '/neighbour.zip', 'w') as z:
    z.writestr('FILE_ID.DIZ', 'A small neighbour\r\n')
with zipfile.ZipFile(folder + '/big0.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(n):
        z.writestr('data/file%06d.txt' % i, 'member %d\n' % i)
    z.writestr('FILE_ID.DIZ', 'A description\r\n' * 20)
for i in range(1, copies):
    shutil.copy(folder + '/big0.zip', folder + '/big%d.zip' % i)
PY
archives=()
for i in $(seq 0 $((copies - 1))); do
    cat "$work/big$i.zip" >/dev/null # in the page cache, as a file just listed would be
    archives+=("$work/big$i.zip")
done
printf '%s members: ' "$members"
QT_QPA_PLATFORM=offscreen "$bench" "$work/neighbour.zip" "${archives[@]}" 2>/dev/null
echo "goal: at most 16 ms"
