#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Listing an archive of MEMBERS members: `quoril-cli list` against `unzip -l`, median CPU time
# (user + system) and peak memory (maximum resident set) of RUNS interleaved runs each.
# Usage: bench/list.sh [BUILD_DIR]   (MEMBERS=100000, RUNS=11 by default)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$(realpath -m "$build/bin/quoril-cli")
runs=${RUNS:-11}
members=${MEMBERS:-100000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/a.zip" "$members" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(int(sys.argv[2])):
        z.writestr('data/file%06d.txt' % i, 'member %d\n' % i)
PY
python3 - "$runs" "$cli" "$(command -v unzip)" "$work/a.zip" "$members" <<'PY'
import os, resource, statistics, sys
runs, cli, unzip, archive, members = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
null = os.open(os.devnull, os.O_WRONLY)
commands = {'quoril-cli list': [cli, 'list', archive], 'unzip -l': [unzip, '-l', archive]}
samples = {name: [] for name in commands}
for _ in range(runs + 1):
    for name, argv in commands.items():
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
        _, status, usage = os.wait4(pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit('%s failed' % ' '.join(argv))
        samples[name].append((usage.ru_utime + usage.ru_stime) * 1000)
ours, peer = (statistics.median(samples[n][1:]) for n in commands)
print('list of %s members (%d runs, median cpu): quoril-cli %.1f ms, unzip -l %.1f ms, ratio %.2f'
      % (members, runs, ours, peer, ours / peer))
PY
# Peak memory, measured by GNU time (a spawning Python would lend the child its own).
for tool in "$cli list" "$(command -v unzip) -l"; do
    /usr/bin/time -f "%M" $tool "$work/a.zip" 2>&1 >/dev/null | tail -1 |
        awk -v t="${tool##*/}" '{printf "peak memory of %s: %.1f MB\n", t, $1 / 1024}'
done
