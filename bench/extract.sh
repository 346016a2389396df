#!/bin/bash
# Extraction and listing speed of quoril-cli against Info-ZIP unzip.
#   EXTRACT_MB (180)  size of the text files packed into the test archive
#   EXTRACT_FILES (400), RUNS (5), LIST_MEMBERS (100000)
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

MB=${EXTRACT_MB:-180}
FILES=${EXTRACT_FILES:-400}
RUNS=${RUNS:-5}
MEMBERS=${LIST_MEMBERS:-100000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "Preparing $FILES text files, $MB MB, and a $MEMBERS-member archive in $WORK ..."
make_text_files "$WORK/src" "$FILES" "$MB"
(cd "$WORK" && zip -q -r -6 texts.zip src)
python3 - "$WORK/many.zip" "$MEMBERS" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:
    for i in range(int(sys.argv[2])):
        z.writestr('folder%03d/member%06d.txt' % (i % 500, i), b'x')
PY
echo "archive: $(du -h "$WORK/texts.zip" | cut -f1), $(unzip -Z1 "$WORK/texts.zip" | wc -l) members"

q=(); u=()
for run in $(seq "$RUNS"); do
    rm -rf "$WORK/q" "$WORK/u"; mkdir "$WORK/q" "$WORK/u"
    q+=("$(timed "$CLI" extract --paths "$WORK/texts.zip" "$WORK/q")")
    u+=("$(timed unzip -o -q "$WORK/texts.zip" -d "$WORK/u")")
done
diff -r "$WORK/q" "$WORK/u" >/dev/null && echo "extracted trees are identical" ||
    echo "WARNING: extracted trees differ"
qm=$(printf '%s\n' "${q[@]}" | median); um=$(printf '%s\n' "${u[@]}" | median)
printf 'extract  quoril-cli %.3fs  unzip %.3fs  ratio %s (median of %d)\n' "$qm" "$um" "$(ratio "$qm" "$um")" "$RUNS"

if "$CLI" list "$WORK/many.zip" >/dev/null 2>&1; then
    q=(); u=()
    for run in $(seq "$RUNS"); do
        q+=("$(timed "$CLI" list "$WORK/many.zip")")
        u+=("$(timed unzip -l "$WORK/many.zip")")
    done
    qm=$(printf '%s\n' "${q[@]}" | median); um=$(printf '%s\n' "${u[@]}" | median)
    printf 'list     quoril-cli %.3fs  unzip -l %.3fs  ratio %s (%d members, median of %d)\n' \
        "$qm" "$um" "$(ratio "$qm" "$um")" "$MEMBERS" "$RUNS"
else
    echo "list: quoril-cli list is not available in this build; skipped"
fi
