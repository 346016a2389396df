#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Extraction and listing speed of quoril-cli against Info-ZIP unzip.
#   EXTRACT_MB (180)  size of the text files packed into the test archive
#   EXTRACT_FILES (400), RUNS (5), LIST_MEMBERS (100000)
set -euo pipefail
. "$(dirname "$0")/lib.sh"

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

# Every member answers one name: 65,536 case variants of one name, 16,384 exact duplicates.
python3 - "$WORK" <<'PY'
import sys, warnings, zipfile
warnings.simplefilter('ignore')
base = 'abcdefghijklmnop'
with zipfile.ZipFile(sys.argv[1] + '/case.zip', 'w') as z:
    for bits in range(1 << len(base)):
        z.writestr(''.join(c.upper() if bits >> i & 1 else c for i, c in enumerate(base)) + '.txt', b'x')
with zipfile.ZipFile(sys.argv[1] + '/dups.zip', 'w') as z:
    for _ in range(16384):
        z.writestr('same.txt', b'x')
PY
for alike in case dups; do
    rm -rf "$WORK/q" "$WORK/u"; mkdir "$WORK/q" "$WORK/u"
    qm=$(timed "$CLI" extract "$WORK/$alike.zip" "$WORK/q")
    um=$(timed unzip -qq -n "$WORK/$alike.zip" -d "$WORK/u")
    printf 'alike names (%s)  quoril-cli %.3fs  unzip %.3fs  ratio %s\n' "$alike" "$qm" "$um" "$(ratio "$qm" "$um")"
done
