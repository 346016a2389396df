#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packing many small files, and one large file, with quoril-cli against Info-ZIP `zip -r` at
# level 6: CPU time (user + system of the child) and peak memory (maximum resident set), the
# medians of RUNS interleaved runs. Peak memory must stay flat in the number of files.
#   PACK_COUNTS ("10000 100000")  numbers of files, each about 2.7 KB of text
#   LARGE_MB (500)                size of the single large file (0: skip it)
#   RUNS (3)
# Usage: bench/pack_many.sh [BUILD_DIR]
set -euo pipefail
. "$(dirname "$0")/lib.sh"

COUNTS=${PACK_COUNTS:-10000 100000}
LARGE_MB=${LARGE_MB:-500}
RUNS=${RUNS:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# compare LABEL: packs src/ RUNS times with each tool, interleaved.
compare() {
    python3 - "$1" "$RUNS" "$CLI" <<'PY'
import os, statistics, subprocess, sys
label, runs, cli = sys.argv[1], int(sys.argv[2]), sys.argv[3]
tools = {'quoril-cli pack': [cli, 'pack', '--level', '6', 'q.zip', 'src'],
         'zip -r': ['zip', '-r', '-6', '-q', 'z.zip', 'src']}
samples = {name: ([], []) for name in tools}
for _ in range(runs):
    for name, argv in tools.items():
        if os.path.exists(argv[-2]):
            os.remove(argv[-2])
        pid = os.posix_spawnp(argv[0], argv, os.environ)
        _, status, usage = os.wait4(pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit('%s failed' % ' '.join(argv))
        samples[name][0].append(usage.ru_utime + usage.ru_stime)
        samples[name][1].append(usage.ru_maxrss / 1024)
if subprocess.run(['unzip', '-tqq', 'q.zip']).returncode != 0:
    sys.exit('the quoril-cli archive does not test good')
(qc, qm), (zc, zm) = [(statistics.median(c), statistics.median(m)) for c, m in samples.values()]
print('%s: quoril-cli %.2f s cpu, %.1f MB peak; zip -r %.2f s cpu, %.1f MB peak; '
      'ratio cpu %.2f, memory %.1f (median of %d)' % (label, qc, qm, zc, zm, qc / zc, qm / zm, runs))
PY
}

for n in $COUNTS; do
    rm -rf src
    python3 - src "$n" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(2, 9)))
         for _ in range(3000)]
for i in range(count):
    sub = os.path.join(folder, 'd%03d' % (i // 1000))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, 'f%06d.txt' % i), 'w') as f:
        f.write(' '.join(rnd.choice(words) for _ in range(450)))
PY
    compare "$n files"
done

if [ "$LARGE_MB" -gt 0 ]; then
    rm -rf src
    make_text_files src 1 "$LARGE_MB" >/dev/null
    compare "one file of $LARGE_MB MB"
fi
