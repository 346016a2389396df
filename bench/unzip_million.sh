#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The extraction dialog over an archive of a million members: time to the first listing row,
# to the first file written by "Unzip !" (all), and peak memory; Info-ZIP unzip -l as the peer.
#   MEMBERS (1000000), BUILD (build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$top/build}
members=${MEMBERS:-1000000}
archive=$build/bench-cache/million-$members.zip
if [ ! -f "$archive" ]; then
    mkdir -p "$(dirname "$archive")"
    echo "building $archive (cached for later runs)" >&2
    python3 - "$archive.tmp" "$members" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:
    for i in range(int(sys.argv[2])):
        z.writestr('d%03d/m%07d.txt' % (i % 1000, i), b'')
PY
    mv "$archive.tmp" "$archive"
fi
cmake --build "$build" --target bench_unzip_million >&2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir "$out/x"
QT_QPA_PLATFORM=offscreen /usr/bin/time -v -o "$out.time" \
    "$build/bin/bench_unzip_million" "$archive" "$out/x" 2>/dev/null
peak=$(awk '/Maximum resident/ {print int($NF / 1024)}' "$out.time")
rm -f "$out.time"
echo "peak RSS $peak MB (goal <= 200)"
start=$(date +%s%N)
unzip -l "$archive" >/dev/null
echo "unzip -l of the same archive: $(( ($(date +%s%N) - start) / 1000000 )) ms"
