#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Rendering a 300-line ANSI description in the description pane (offscreen): reading the
# bytes, playing the colour codes onto the 80-column grid and painting the view, on the
# window's thread. The budget is one frame, 16 ms; the ratio printed is the time over it.
# Usage: bench/render.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
bench=$build/bin/bench_render
[ -x "$bench" ] || { echo "bench_render not found at $bench (build the target bench_render)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/art.ans" <<'PY'
import random, sys
random.seed(7)
out = bytearray()
for line in range(300):
    for col in range(0, 80, 4):
        out += b'\x1b[%d;%d;%dm' % (random.choice((0, 1)), 30 + random.randrange(8), 40 + random.randrange(8))
        out += bytes(random.choice((0xdb, 0xdc, 0xdf, 0xb0, 0xb1, 0xb2, 0x41)) for _ in range(4))
    out += b'\x1b[0m\r\n'
open(sys.argv[1], 'wb').write(out)
PY
ms=$(QT_QPA_PLATFORM=offscreen "$bench" "$work/art.ans")
echo "300-line ANSI description: ${ms} ms on the window's thread (budget 16 ms, ratio $(python3 -c "print(round($ms / 16, 3))"))"
