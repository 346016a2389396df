#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Archives of other formats against lsar/unar, the helper that reads them too:
#   describe  `quoril-cli describe` on an LHA archive of MEMBERS members whose FILE_ID.DIZ is the
#             last one, against `unar -o - ARCHIVE FILE_ID.DIZ` (median of five runs each; goal:
#             at most 1.5x). RAR is measured the same way when `rar` is installed to make one.
#   catalog   `quoril-cli catalog --no-cache` of COUNT LHA archives against a shell loop of
#             `lsar` and `unar -o -` over them (goal: at most 0.5x).
# Usage: bench/formats.sh [BUILD_DIR]     MEMBERS (default 1000), COUNT (1000)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
members=${MEMBERS:-1000}
count=${COUNT:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

mkdir -p "$work/src"
(cd "$work/src" && for i in $(seq 1 "$members"); do echo "member $i" > "m$i.txt"; done &&
    printf 'A demo\r\n' > FILE_ID.DIZ &&
    jlha a "$work/big.lzh" m*.txt >/dev/null && jlha a "$work/big.lzh" FILE_ID.DIZ >/dev/null)
have_rar=no
if command -v rar >/dev/null; then
    (cd "$work/src" && rar a -inul "$work/big.rar" m*.txt FILE_ID.DIZ) && have_rar=yes
fi

describe() {
    local archive=$1 ours=() peer=()
    for _ in 1 2 3 4 5; do
        ours+=("$(timed "$CLI" describe "$archive")")
        peer+=("$(timed unar -o - "$archive" FILE_ID.DIZ)")
    done
    local o p
    o=$(printf '%s\n' "${ours[@]}" | median)
    p=$(printf '%s\n' "${peer[@]}" | median)
    echo "describe ${archive##*.} ($members members): quoril-cli ${o}s, unar -o - ${p}s," \
         "ratio $(ratio "$o" "$p") (goal <= 1.5)"
}
describe "$work/big.lzh"
[ "$have_rar" = yes ] && describe "$work/big.rar" ||
    echo "describe rar: not measured (no program here writes RAR archives)"

mkdir -p "$work/coll"
for k in 0 1 2 3 4 5 6 7 8 9; do
    (cd "$work/src" && printf 'Group %s presents\r\n' "$k" > FILE_ID.DIZ &&
        jlha a "$work/coll/a$k.lzh" FILE_ID.DIZ m1.txt m2.txt >/dev/null)
done
for i in $(seq 10 $((count - 1))); do cp "$work/coll/a$((i % 10)).lzh" "$work/coll/a$i.lzh"; done
o=$(timed "$CLI" catalog --no-cache "$work/coll")
loop() { for f in "$work"/coll/*.lzh; do lsar "$f"; unar -o - "$f" FILE_ID.DIZ; done; }
p=$(timed loop)
echo "catalog of $count LHA archives: quoril-cli ${o}s, lsar+unar loop ${p}s," \
     "ratio $(ratio "$o" "$p") (goal <= 0.5)"
