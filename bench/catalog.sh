#!/usr/bin/env bash
# The collection index against a shell loop of Info-ZIP `unzip -p -C ARCHIVE file_id.diz`:
#   cold  `quoril-cli catalog` of COUNT archives of 50-500 members each, with no index yet;
#   warm  the same run again, nothing changed;
#   memory  the peak resident size of a cold catalog of COUNT and of 4 x COUNT archives;
#   search  queries over an index of SEARCH_COUNT descriptions (bench_search: the query call the
#           command-line tool and the window use, median of seven runs).
# Wall times suffer on a busy machine; CPU times (user + system) do not. Both are printed.
# Usage: bench/catalog.sh [BUILD_DIR]     COUNT (default 2000), SEARCH_COUNT (100000)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cli=$build/bin/quoril-cli
search=$build/bin/bench_search
count=${COUNT:-2000}
search_count=${SEARCH_COUNT:-100000}
[ -x "$cli" ] || { echo "quoril-cli not found at $cli" >&2; exit 2; }
if [ ! -x "$search" ]; then
    echo "building bench_search in $build" >&2
    ninja -C "$build" -j2 bench_search >&2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

python3 - "$work/coll" "$count" <<'PY'
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

# measure NAME COMMAND...: prints "wall cpu maxrss_kb" of one run, output discarded.
measure() {
    python3 - "$@" <<'PY'
import os, sys, time
argv = sys.argv[1:]
null = os.open(os.devnull, os.O_WRONLY)
start = time.perf_counter()
pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
_, status, usage = os.wait4(pid, 0)
print('%.3f %.3f %d' % (time.perf_counter() - start, usage.ru_utime + usage.ru_stime, usage.ru_maxrss))
PY
}
loop=$work/loop.sh
cat > "$loop" <<SH
#!/usr/bin/env bash
for f in "$work"/coll/*.zip; do unzip -p -C "\$f" file_id.diz; done
SH
chmod +x "$loop"

"$loop" > /dev/null 2>&1 || true # both read the archives from the page cache
read -r uw uc _ < <(measure "$loop")
read -r cw cc cm < <(measure "$cli" catalog --format json "$work/coll")
read -r ww wc _ < <(measure "$cli" catalog --format json "$work/coll")
ratio() { python3 -c "print('%.3f' % ($1 / $2))"; }
echo "$count archives: unzip loop ${uw}s wall ${uc}s cpu"
echo "  cold catalog ${cw}s wall ${cc}s cpu: ratio wall $(ratio "$cw" "$uw"), cpu $(ratio "$cc" "$uc") (goal <= 0.2)"
echo "  warm catalog ${ww}s wall ${wc}s cpu: ratio wall $(ratio "$ww" "$uw"), cpu $(ratio "$wc" "$uc") (goal <= 0.05)"

# Memory: the same archives linked four times over (new paths, read afresh).
for i in 1 2 3 4; do mkdir "$work/big$i" && ln "$work"/coll/*.zip "$work/big$i"/; done
rm -rf "$XDG_CACHE_HOME"
read -r _ _ bm < <(measure "$cli" catalog --recursive --format json "$work"/big1 "$work"/big2 "$work"/big3 "$work"/big4)
echo "  peak memory: $count archives ${cm} KB, $((count * 4)) archives ${bm} KB"

"$search" "$work/search.sqlite" "$search_count" dragon café 'drag*' '"cafe dragon"' 'abc* xyz*' \
    | sed "s/^/  search over $search_count descriptions: /"
