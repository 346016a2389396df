# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers shared by the benchmark scripts; sourced, not run.
# shellcheck shell=bash
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CLI=${QUORIL_CLI:-${1:-$ROOT/build}/bin/quoril-cli}
CLI=$(realpath -m "$CLI")
[ -x "$CLI" ] || { echo "quoril-cli not found at $CLI (build it or set QUORIL_CLI)" >&2; exit 2; }

now() { date +%s.%N; }

# Runs a command, prints its wall time in seconds; the command's output is discarded.
timed() {
    local start end
    start=$(now)
    "$@" >/dev/null 2>&1 || echo "warning: '$*' exited with $?" >&2
    end=$(now)
    echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ratio() { echo "scale=2; $1 / $2" | bc -l; }

# make_text_files DIR COUNT TOTAL_MB: COUNT text files of words, TOTAL_MB together.
make_text_files() {
    python3 - "$1" "$2" "$3" <<'PY'
import os, random, sys
folder, count, total_mb = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
os.makedirs(folder, exist_ok=True)
rnd = random.Random(42)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(2, 10)))
         for _ in range(5000)]
each = int(total_mb * 1024 * 1024 / count)
block = []
size = 0
while size < 1024 * 1024:
    line = ' '.join(rnd.choice(words) for _ in range(12)) + '\n'
    block.append(line)
    size += len(line)
block = ''.join(block).encode()
for i in range(count):
    sub = os.path.join(folder, 'part%02d' % (i % 10))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, 'file%04d.txt' % i), 'wb') as f:
        left = each
        offset = (i * 7919) % len(block)
        while left > 0:
            piece = block[offset:offset + left] or block[:left]
            f.write(piece)
            left -= len(piece)
            offset = 0
PY
}
