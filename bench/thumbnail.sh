#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The thumbnailer: the Exec line of resources/quoril.thumbnailer (quoril-cli render %i %o
# --width %s, size 256) run on an archive of MEMBERS members with a description, as a file
# manager runs it: one process per archive. Prints the median wall and CPU time per archive
# against the budget of 100 ms, and `unzip -p -C ARCHIVE file_id.diz` (the description
# alone, no picture) for scale.
# Usage: bench/thumbnail.sh [BUILD_DIR]      RUNS (default 21), MEMBERS (1000)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$(realpath -m "$build/bin/quoril-cli")
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/a.zip" "${MEMBERS:-1000}" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(int(sys.argv[2])):
        z.writestr('data/file%05d.txt' % i, 'member %d\n' % i)
    z.writestr('FILE_ID.DIZ', ''.join('\xdb\xb2\xb1\xb0 A GAME OF SPACE, line %02d \xb0\xb1\xb2\xdb\r\n' % i
                                      for i in range(20)).encode('latin-1'))
PY
exec_line=$(sed -n 's/^Exec=//p' "$top/resources/quoril.thumbnailer")
exec_line=${exec_line//%i/$work/a.zip}
exec_line=${exec_line//%o/$work/thumb.png}
exec_line=${exec_line//%s/256}
read -r -a argv <<<"$exec_line"
[ "${argv[0]}" = quoril-cli ] && argv[0]=$cli

python3 - "${RUNS:-21}" "$work/a.zip" "${argv[@]}" <<'PY'
import os, shutil, statistics, sys, time
runs, archive, argv = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
null = os.open(os.devnull, os.O_WRONLY)
unzip = [shutil.which('unzip'), '-p', '-C', archive, 'file_id.diz']
def once(cmd):
    start = time.perf_counter()
    pid = os.posix_spawn(cmd[0], cmd, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit('%s failed' % ' '.join(cmd))
    return (time.perf_counter() - start) * 1000, (usage.ru_utime + usage.ru_stime) * 1000
ours, peer = [], []
for i in range(runs + 2):
    a, b = once(argv), once(unzip)
    if i >= 2:
        ours.append(a)
        peer.append(b)
wall, cpu = (statistics.median(x[k] for x in ours) for k in (0, 1))
pwall, pcpu = (statistics.median(x[k] for x in peer) for k in (0, 1))
print('thumbnail of a %s-member archive: %.1f ms wall, %.1f ms cpu (budget 100 ms: ratio %.2f); '
      'unzip -p -C %.1f ms wall, %.1f ms cpu (ratio cpu %.1f)'
      % (os.environ.get('MEMBERS', '1000'), wall, cpu, wall / 100, pwall, pcpu, cpu / pcpu))
PY
