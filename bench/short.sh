#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Short commands, where the start of the process is most of the cost: CPU time (user + system
# of the child and what it waited for) of quoril-cli against the peer doing the same work,
# medians of RUNS interleaved runs on fresh copies of the same files.
#   save-description into a 100-member archive   vs  zip -j ARCHIVE file_id.diz
#     (also with a sync after both, since quoril-cli flushes its archive to disk)
#   tag show / tag set --title on an MP3 file     vs  id3tool FILE / id3tool -t TITLE FILE
#     (Debian's id3tool package; the lines are skipped when it is missing)
# An empty program linked with QtCore gives the floor of any quoril-cli command.
# Usage: bench/short.sh [BUILD_DIR]      RUNS (default 41)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$(realpath -m "$build/bin/quoril-cli")
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - <<'PY'
import zipfile
with zipfile.ZipFile('small.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(100):
        z.writestr('data/file%03d.txt' % i, 'member %d\n' % i * 40)
with open('song.mp3', 'wb') as f:
    f.write(b'\xff\xfb\x90\x64' + bytes(4000) + b'TAG' + b'Title'.ljust(30, b'\0') +
            b'Artist'.ljust(30, b'\0') + b'Album'.ljust(30, b'\0') + b'2001' + bytes(30) + b'\x11')
PY
printf 'A new description\r\nsecond line\r\n' >file_id.diz
printf '#include <QString>\nint main(int argc, char **argv) { return QString::fromUtf8(argv[argc - 1]).isNull(); }\n' >floor.cpp
# shellcheck disable=SC2046
c++ -O2 -fPIC floor.cpp -o qtcore_floor $(pkg-config --cflags --libs Qt6Core)

python3 - "${RUNS:-41}" "$cli" "$(command -v id3tool || true)" <<'PY'
import os, shutil, statistics, sys
runs, cli, id3tool = int(sys.argv[1]), sys.argv[2], sys.argv[3]
null = os.open(os.devnull, os.O_RDWR)
diz = os.open('file_id.diz', os.O_RDONLY)

def cpu(argv, fresh=None):
    if fresh:
        shutil.copyfile(*fresh)
    os.lseek(diz, 0, 0)
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[
        (os.POSIX_SPAWN_DUP2, diz, 0), (os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit('%s failed' % ' '.join(argv))
    return (usage.ru_utime + usage.ru_stime) * 1e6

zip_ = shutil.which('zip')
sh = '/bin/sh'
pairs = {
    'save-description': ([cli, 'save-description', 'a.zip', 'file_id.diz'],
                         [zip_, '-q', '-j', 'a.zip', 'file_id.diz'], ('small.zip', 'a.zip')),
    'save-description, both synced': (
        [sh, '-c', '"$0" save-description a.zip file_id.diz && sync', cli],
        [sh, '-c', '"$0" -q -j a.zip file_id.diz && sync', zip_], ('small.zip', 'a.zip')),
}
if id3tool:
    pairs['tag show'] = ([cli, 'tag', 'show', 'a.mp3'], [id3tool, 'a.mp3'], ('song.mp3', 'a.mp3'))
    pairs['tag set'] = ([cli, 'tag', 'set', 'a.mp3', '--title', 'New title'],
                        [id3tool, '-t', 'New title', 'a.mp3'], ('song.mp3', 'a.mp3'))
floor = statistics.median(cpu(['./qtcore_floor']) for _ in range(runs))
for label, (ours, peer, fresh) in pairs.items():
    a, b = [], []
    for i in range(runs + 3):
        x, y = cpu(ours, fresh), cpu(peer, fresh)
        if i >= 3:
            a.append(x)
            b.append(y)
    qa, pb = statistics.median(a), statistics.median(b)
    print('%-30s quoril-cli %6.0f us cpu  peer %6.0f us cpu  ratio %.2f' % (label, qa, pb, qa / pb))
print('%-30s %6.0f us cpu (the floor of every quoril-cli command)' % ('empty QtCore program', floor))
if not id3tool:
    print('id3tool is not installed (apt install id3tool): tag lines skipped')
PY
