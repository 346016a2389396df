#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reading speed of the folder tree: one folder of 10,000 files (a mix of *.zip, *.mp3 and
# other files) and one folder of 1,000 empty subfolders, read by bench_tree with the masks of
# the main window, next to `find DIR -maxdepth 2` on the same tree.
# Usage: bench/tree.sh [build-dir]   (default: build)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
bench=$build/bin/bench_tree
if [[ ! -x $bench ]]; then
    echo "building bench_tree in $build" >&2
    ninja -C "$build" -j2 bench_tree >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=$work/files
folders=$work/folders
mkdir -p "$files" "$folders"
(
    cd "$files"
    for i in $(seq -w 1 10000); do
        case $((10#$i % 4)) in
        0) echo -n > "archive$i.zip" ;;
        1) echo -n > "song$i.mp3" ;;
        2) echo -n > "notes$i.txt" ;;
        3) echo -n > "image$i.png" ;;
        esac
    done
)
(cd "$folders" && mkdir $(seq -f "sub%04g" 1 1000))

now_us() { echo $(($(date +%s%N) / 1000)); }

# Warm the directory cache so both sides read from memory.
find "$work" -maxdepth 2 > /dev/null

start=$(now_us)
find "$work" -maxdepth 2 > /dev/null
find_us=$(($(now_us) - start))
find_ms=$(awk -v u="$find_us" 'BEGIN { printf "%.1f", u / 1000 }')

out=$(QT_QPA_PLATFORM=offscreen "$bench" "$files" "$folders" 2>/dev/null)
echo "$out" | grep -v '^total'
tree_ms=$(echo "$out" | awk '/^total/ { print $2 }')

echo "tree (first reads): ${tree_ms} ms"
echo "find -maxdepth 2:   ${find_ms} ms"
awk -v t="$tree_ms" -v f="$find_ms" 'BEGIN {
    if (f < 0.1) f = 0.1
    printf "ratio tree/find:    %.1f\n", t / f
}'
