#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Saving a description into an existing archive: `quoril-cli save-description` against
# `zip -j ARCHIVE file_id.diz`, each on its own copy of the same archive, both timed until
# their data is on disk (`sync` included in both). Two archives: one of MEMBERS small members
# (the cost of reading and rewriting a large central directory) and one of SIZE_MB megabytes
# (the cost of copying the data).
# Usage: bench/save.sh [BUILD_DIR]   (MEMBERS=100000, SIZE_MB=90, RUNS=5 by default)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$(realpath -m "$build/bin/quoril-cli")
runs=${RUNS:-5}
size=${SIZE_MB:-90}
members=${MEMBERS:-100000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/big.zip" "$size" "$work/many.zip" "$members" <<'PY'
import sys, zipfile, os
big, mb, many, n = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
with zipfile.ZipFile(big, 'w', zipfile.ZIP_STORED) as z:
    for i in range(mb):
        z.writestr('blob%04d.bin' % i, os.urandom(1 << 20))
with zipfile.ZipFile(many, 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(n):
        z.writestr('data/file%06d.txt' % i, 'member %d\n' % i)
PY
printf 'A new description\r\nsecond line\r\n' > "$work/file_id.diz"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# timed SOURCE COPY INPUT COMMAND...: median microseconds of COMMAND (reading INPUT) plus a
# sync, each run on a fresh copy of SOURCE.
timed() {
    local source=$1 copy=$2 input=$3
    shift 3
    for _ in $(seq "$runs"); do
        cp "$source" "$copy"
        sync
        s=$(date +%s%N)
        "$@" <"$input" >/dev/null
        sync
        e=$(date +%s%N)
        echo $(((e - s) / 1000))
    done | median
}

for case in many big; do
    ours=$(cd "$work" && timed "$case.zip" ours.zip file_id.diz \
        "$cli" save-description ours.zip file_id.diz)
    peer=$(cd "$work" && timed "$case.zip" peer.zip /dev/null zip -q -j peer.zip file_id.diz)
    label=$([ "$case" = many ] && echo "$members members" || echo "$size MB")
    printf 'save into %s: quoril-cli %d us, zip -j %d us, ratio %s (sync included)\n' "$label" \
        "$ours" "$peer" "$(awk -v a="$ours" -v b="$peer" 'BEGIN {printf "%.2f", a / b}')"
done
