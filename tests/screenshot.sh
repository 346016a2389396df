#!/usr/bin/env bash
# Starts the program under Xvfb on a folder with a few archives, selects one and writes a
# picture of the window, so that anyone can look at it.
# Usage: tests/screenshot.sh [OUTPUT.png] [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/docs/screenshot.png}")
build=${2:-$top/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys, zipfile, os
d = sys.argv[1]
art = ("\xc9" + "\xcd" * 40 + "\xbb\r\n"
       "\xba   SPACE QUEST DELUXE  v1.2              \xba\r\n"
       "\xba   The classic arcade shooter, remade.   \xba\r\n"
       "\xc8" + "\xcd" * 40 + "\xbc\r\n").encode('latin-1')
with zipfile.ZipFile(os.path.join(d, 'SPACEQ12.ZIP'), 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('FILE_ID.DIZ', art)
    z.writestr('SPACEQ.EXE', b'MZ' + bytes(4000))
with zipfile.ZipFile(os.path.join(d, 'tools.zip'), 'w') as z:
    z.writestr('readme.txt', 'Handy tools\r\n')
open(os.path.join(d, 'song.mp3'), 'wb').write(bytes(2000))
os.mkdir(os.path.join(d, 'more'))
with zipfile.ZipFile(os.path.join(d, 'more', 'ASTRO.ZIP'), 'w') as z:
    z.writestr('FILE_ID.DIZ', 'Astro Trader\r\nTrade across deep space.\r\n')
PY
mkdir -p "$(dirname "$out")"
cd "$work"
HOME=$work xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/quoril" --screenshot "$out" "$work/SPACEQ12.ZIP"
echo "wrote $out"

# The find window looking in the same folder, with the results of a query.
find_out="$(dirname "$out")/find.png"
HOME=$work xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/quoril" --screenshot "$find_out" --find "space" "$work"
echo "wrote $find_out"

# The about box, its rolling history, the tray menu and the menu-bar button beside it.
"$top/tests/shell/screenshot_shell.sh" --xvfb "$(dirname "$out")/shell" "$build"
