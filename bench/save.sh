#!/usr/bin/env bash
# Saving a description into a large archive (~180 MB): `quoril-cli save-description` against
# `zip -j ARCHIVE file_id.diz`, each on its own copy of the same archive.
# Usage: bench/save.sh [BUILD_DIR]   (SIZE_MB=180, RUNS=5 by default)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/quoril-cli
runs=${RUNS:-5}
size=${SIZE_MB:-180}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/big.zip" "$size" <<'PY'
import sys, zipfile, os
path, mb = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, 'w', zipfile.ZIP_STORED) as z:
    for i in range(mb):
        z.writestr('blob%04d.bin' % i, os.urandom(1 << 20))
PY
printf 'A new description\r\nsecond line\r\n' > "$work/file_id.diz"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ours=$(for _ in $(seq "$runs"); do
    cp "$work/big.zip" "$work/ours.zip"; sync
    s=$(date +%s%N)
    "$cli" save-description "$work/ours.zip" file_id.diz < "$work/file_id.diz"
    e=$(date +%s%N); echo $(((e - s) / 1000))
done | median)
peer=$(for _ in $(seq "$runs"); do
    cp "$work/big.zip" "$work/peer.zip"; sync
    s=$(date +%s%N)
    (cd "$work" && zip -q -j peer.zip file_id.diz)
    e=$(date +%s%N); echo $(((e - s) / 1000))
done | median)
printf 'save into %d MB: quoril-cli %d us, zip -j %d us, ratio %s\n' "$size" "$ours" "$peer" \
    "$(awk -v a="$ours" -v b="$peer" 'BEGIN {printf "%.2f", a / b}')"
