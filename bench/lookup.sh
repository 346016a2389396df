#!/usr/bin/env bash
# Description lookup: `quoril-cli describe` against `unzip -p -C ARCHIVE NAME` for the same
# member, on a typical archive (500 members) and a large one (100,000 members).
# Prints the median wall time of each over several runs and the ratio.
# Usage: bench/lookup.sh [BUILD_DIR]   (RUNS=7 by default)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/quoril-cli
runs=${RUNS:-7}
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

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

time_runs() { # command...
    for _ in $(seq "$runs"); do
        local s e
        s=$(date +%s%N)
        "$@" >/dev/null
        e=$(date +%s%N)
        echo $(((e - s) / 1000))
    done | median
}

for n in 500 100000; do
    archive=$work/a$n.zip
    make_archive "$archive" "$n"
    ours=$(time_runs "$cli" describe "$archive")
    peer=$(time_runs unzip -p -C "$archive" file_id.diz)
    ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN {printf "%.2f", a / b}')
    printf '%7d members: quoril-cli describe %8d us, unzip -p -C %8d us, ratio %s\n' \
        "$n" "$ours" "$peer" "$ratio"
done
