#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packing speed of quoril-cli against Info-ZIP zip at level 6.
#   PACK_MB (400)  size of the text files to pack
#   PACK_FILES (400), RUNS (3)
set -euo pipefail
. "$(dirname "$0")/lib.sh"

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
