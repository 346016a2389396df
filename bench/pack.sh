#!/bin/bash
# Packing speed of quoril-cli against Info-ZIP zip at level 6.
#   PACK_MB (400)  size of the text files to pack
#   PACK_FILES (400), RUNS (3)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CLI=${QUORIL_CLI:-$ROOT/build/bin/quoril-cli}
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

MB=${PACK_MB:-400}
FILES=${PACK_FILES:-400}
RUNS=${RUNS:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "Preparing $FILES text files, $MB MB, in $WORK ..."
make_text_files "$WORK/src" "$FILES" "$MB"

q=(); z=()
cd "$WORK"
for run in $(seq "$RUNS"); do
    rm -f q.zip z.zip
    q+=("$(timed "$CLI" pack --level 6 q.zip src)")
    z+=("$(timed zip -r -6 -q z.zip src)")
done
qn=$(unzip -Z1 q.zip | grep -vc '/$'); zn=$(unzip -Z1 z.zip | grep -vc '/$')
unzip -tq q.zip >/dev/null && echo "quoril-cli archive tests good ($qn files; zip: $zn)" ||
    echo "WARNING: quoril-cli archive does not test good"
qm=$(printf '%s\n' "${q[@]}" | median); zm=$(printf '%s\n' "${z[@]}" | median)
printf 'pack  quoril-cli %.3fs (%s)  zip %.3fs (%s)  ratio %s (median of %d)\n' \
    "$qm" "$(du -h q.zip | cut -f1)" "$zm" "$(du -h z.zip | cut -f1)" "$(ratio "$qm" "$zm")" "$RUNS"
