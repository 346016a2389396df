#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The collection index over MP3 files tagged in ID3v2 against the same files tagged in ID3v1
# only: `quoril-cli catalog` of COUNT files each way, once with the index (cold, none yet) and
# once with --no-cache. The ID3v2 files carry a 2.3 tag of seven text frames and 1 KiB of
# padding at the start; both sets end in an ID3v1 record. Goal: ID3v2 at most 2x ID3v1.
# Wall times suffer on a busy machine; CPU times (user + system) do not. Both are printed.
# Usage: bench/id3v2.sh [BUILD_DIR]     COUNT (default 5000)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/quoril-cli
count=${COUNT:-5000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$count" <<'PY'
import os, sys
work, count = sys.argv[1], int(sys.argv[2])
audio = (b'\xff\xfb\x90\x00' + bytes(413)) * 40  # 16 KiB of silent MPEG frames
def v1(i):
    f = lambda s, n: s.encode('latin-1').ljust(n, b' ')
    return b'TAG' + f('Song %d' % i, 30) + f('Artist %d' % (i % 97), 30) + f('Album', 30) + \
        f('1999', 4) + f('comment', 30) + bytes([17])
def frame(fid, text):
    body = b'\x01' + text.encode('utf-16')  # UTF-16 with BOM
    return fid + len(body).to_bytes(4, 'big') + b'\0\0' + body
def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
def v2(i):
    frames = b''.join(frame(k, v) for k, v in (
        (b'TIT2', 'Song %d with a longer title' % i), (b'TPE1', 'Artist %d' % (i % 97)),
        (b'TALB', 'Album'), (b'TYER', '1999'), (b'TCON', '(17)'), (b'TRCK', '%d/12' % (i % 12 + 1)),
    )) + b'COMM' + (14).to_bytes(4, 'big') + b'\0\0' + b'\0eng\0a comment' + bytes(1024)
    return b'ID3\x03\x00\x00' + syncsafe(len(frames)) + frames
for kind in ('v1', 'v2'):
    os.makedirs(os.path.join(work, kind))
    for i in range(count):
        head = v2(i) if kind == 'v2' else b''
        with open(os.path.join(work, kind, 'song%05d.mp3' % i), 'wb') as out:
            out.write(head + audio + v1(i))
PY

# measure COMMAND...: prints "wall cpu" of one run, output discarded.
measure() {
    python3 - "$@" <<'PY'
import os, sys, time
argv = sys.argv[1:]
null = os.open(os.devnull, os.O_WRONLY)
start = time.perf_counter()
pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
_, status, usage = os.wait4(pid, 0)
print('%.3f %.3f' % (time.perf_counter() - start, usage.ru_utime + usage.ru_stime))
PY
}

"$cli" catalog --no-cache "$work/v1" "$work/v2" > /dev/null # both from the page cache
for mode in cold no-cache; do
    for kind in v1 v2; do
        if [ "$mode" = cold ]; then
            export XDG_CACHE_HOME=$work/cache-$kind
            read -r w c < <(measure "$cli" catalog "$work/$kind")
        else
            read -r w c < <(measure "$cli" catalog --no-cache "$work/$kind")
        fi
        eval "${kind}_wall=$w ${kind}_cpu=$c"
    done
    printf '%-9s %d files  ID3v1 only: %6.2f s wall %6.2f s cpu   ID3v2: %6.2f s wall %6.2f s cpu   ratio %.2f wall %.2f cpu (goal <= 2)\n' \
        "$mode" "$count" "$v1_wall" "$v1_cpu" "$v2_wall" "$v2_cpu" \
        "$(echo "$v2_wall / $v1_wall" | bc -l)" "$(echo "$v2_cpu / $v1_cpu" | bc -l)"
done
