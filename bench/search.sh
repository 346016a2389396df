#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `quoril-cli search WORD DIR` over COUNT (default 100,000) indexed archives, the whole command
# from its start to its end (goal: at most 50 ms), against `unzip -p -C 'DIR/*.zip' file_id.diz`
# over the same folder, the cheapest way to look at every description without an index.
# The folder was indexed before and has not changed since: the answer comes from the index,
# after one look at the folder's own times. Median of seven runs, wall and CPU time.
# Then bench_search: the query call alone over an index of COUNT descriptions.
# Usage: bench/search.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/quoril-cli
count=${COUNT:-100000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

python3 - "$work/coll" "$count" <<'PY'
import os, random, sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
rnd = random.Random(7)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(3, 9)))
         for _ in range(20000)]
base = []
for i in range(1000):
    path = os.path.join(folder, 'game%06d.zip' % i)
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        for k in range(20):
            z.writestr('data/file%03d.dat' % k, b'member %d\n' % k)
        text = '\r\n'.join(' '.join(rnd.choice(words) for _ in range(8)) for _ in range(8))
        if i == 500:
            text += '\r\nthe dragon of the north'
        z.writestr('FILE_ID.DIZ', text)
    base.append(path)
for i in range(1000, count):
    os.link(base[i % 1000], os.path.join(folder, 'game%06d.zip' % i))
# The folder's times lie in the past, as a collection's do.
os.utime(folder, (1e9, 1e9))
PY
"$cli" catalog "$work/coll" > /dev/null

python3 - "$cli" "$work/coll" "$count" <<'PY'
import os, statistics, sys, time
cli, coll, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
def run(argv):
    null = os.open(os.devnull, os.O_WRONLY)
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ,
                          file_actions=[(os.POSIX_SPAWN_DUP2, null, 1),
                                        (os.POSIX_SPAWN_DUP2, null, 2)])
    _, status, usage = os.wait4(pid, 0)
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime, status
def median(argv):
    runs = [run(argv) for _ in range(7)]
    return statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs), runs[0][2]
sw, sc, status = median([cli, 'search', 'dragon', coll])
assert os.waitstatus_to_exitcode(status) == 0, 'search found nothing'
uw, uc, _ = median(['unzip', '-p', '-C', coll + '/*.zip', 'file_id.diz'])
print('%d archives: quoril-cli search %.1f ms wall %.1f ms cpu (goal <= 50 ms);'
      ' unzip -p -C %.0f ms wall %.0f ms cpu; ratio %.3f wall %.3f cpu'
      % (count, sw * 1e3, sc * 1e3, uw * 1e3, uc * 1e3, sw / uw, sc / uc))
PY

search=$build/bin/bench_search
if [ ! -x "$search" ]; then
    echo "building bench_search in $build" >&2
    cmake --build "$build" --target bench_search >&2
fi
"$search" "$work/search.sqlite" "$count" dragon café 'drag*' '"cafe dragon"' 'abc* xyz*' \
    | sed "s/^/  query call over $count descriptions: /"
