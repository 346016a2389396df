#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The collection index against one process of Info-ZIP `unzip -p -C 'DIR/*.zip' file_id.diz`
# over the same folder, at each size in SIZES (default "1000 30000 100000"):
#   cold  `quoril-cli catalog` with no index yet (goal: at most 3x unzip's CPU, and a cost per
#         archive that does not grow with the size);
#   warm  the same run again, nothing changed (goal: at most 1.0x).
# Sizes up to 10,000 are measured ROUNDS times (default 7), interleaved, and the medians shown.
# The archives (50-500 members each, nine in ten with a FILE_ID.DIZ) are BASE distinct ones
# (default 1000) linked under as many names as a size needs: every path is read afresh.
# CPU time (user + system, all threads) is what is compared; wall time suffers on a busy machine.
# Usage: bench/catalog.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$top/build}/bin/quoril-cli
sizes=${SIZES:-1000 30000 100000}
base=${BASE:-1000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
command -v unzip >/dev/null || { echo "unzip (Info-ZIP) is needed" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

python3 - "$work/base" "$base" <<'PY'
import os, random, sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
rnd = random.Random(7)
for i in range(count):
    with zipfile.ZipFile(os.path.join(folder, 'game%05d.zip' % i), 'w', zipfile.ZIP_DEFLATED) as z:
        for k in range(rnd.randint(50, 500)):
            z.writestr('data/file%03d.dat' % k, b'member %d\n' % k * rnd.randint(1, 20))
        if i % 10:
            z.writestr('FILE_ID.DIZ', ('Game %d, line of its description\r\n' % i) * 8)
PY

# measure COMMAND...: prints "wall cpu" of one run, its output discarded.
measure() {
    python3 - "$@" <<'PY'
import os, sys, time
argv = sys.argv[1:]
null = os.open(os.devnull, os.O_WRONLY)
start = time.perf_counter()
pid = os.posix_spawnp(argv[0], argv, os.environ,
                      file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
_, status, usage = os.wait4(pid, 0)
print('%.3f %.3f' % (time.perf_counter() - start, usage.ru_utime + usage.ru_stime))
PY
}
calc() { python3 -c "print('%.2f' % ($1))"; }

for size in $sizes; do
    coll=$work/c$size
    mkdir "$coll"
    python3 - "$work/base" "$coll" "$size" <<'PY'
import os, sys
base, coll, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = sorted(os.listdir(base))
for i in range(size):
    os.link(os.path.join(base, names[i % len(names)]), os.path.join(coll, 'a%06d.zip' % i))
PY
    measure unzip -p -C "$coll/*.zip" file_id.diz > /dev/null # both read from the page cache
    # Small sizes take a fraction of a second: the median of several interleaved rounds.
    rounds=$((size <= 10000 ? ${ROUNDS:-7} : 1))
    for ((r = 0; r < rounds; r++)); do
        rm -rf "$XDG_CACHE_HOME"
        measure unzip -p -C "$coll/*.zip" file_id.diz
        measure "$cli" catalog --format json "$coll"
        measure "$cli" catalog --format json "$coll"
    done | paste - - - >"$work/rounds"
    read -r uw uc cw cc ww wc < <(python3 -c '
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1])]
print(" ".join("%.4f" % statistics.median(r[i] for r in rows) for i in range(6)))' "$work/rounds")
    echo "$size archives: unzip -p -C ${uc}s cpu (${uw}s wall)"
    echo "  cold catalog ${cc}s cpu (${cw}s wall): $(calc "$cc / $uc")x unzip," \
        "$(calc "$cc / $size * 1e6") us per archive (goal <= 3x)"
    echo "  warm catalog ${wc}s cpu (${ww}s wall): $(calc "$wc / $uc")x unzip," \
        "$(calc "$wc / $size * 1e6") us per archive (goal <= 1.0x)"
    rm -rf "$coll"
done
