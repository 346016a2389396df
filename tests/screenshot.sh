#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program under Xvfb on a folder with a few archives, selects one whose description
# is drawn with DOS blocks and box lines, and writes pictures of the window, so that anyone can
# look at them: the main window in English (OUTPUT) and in Deutsch, and every window in every
# shipped language. With openbox installed the windows get a real frame, as on a desktop.
# Usage: tests/screenshot.sh [OUTPUT.png] [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/docs/screenshot.png}")
build=$(realpath -m "${2:-$top/build}")
shots=$build/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys, zipfile, os
d = sys.argv[1]
# CP437: blocks, shades, single and double box lines.
art = ("\xc9" + "\xcd" * 40 + "\xbb\r\n"
       "\xba   SPACE QUEST DELUXE  v1.2              \xba\r\n"
       "\xba   The classic arcade shooter, remade.   \xba\r\n"
       "\xc8" + "\xcd" * 40 + "\xbc\r\n"
       "\xda" + "\xc4" * 40 + "\xbf\r\n"
       "\xb3 \xdb\xdb\xdb\xdb\xdb\xdb\xdb\xdb \xdf\xdf\xdf\xdf \xdc\xdc\xdc\xdc \xb0\xb0\xb1\xb1\xb2\xb2 Game Demo    \xb3\r\n"
       "\xc0" + "\xc4" * 40 + "\xd9\r\n").encode('latin-1')
with zipfile.ZipFile(os.path.join(d, 'SPACEQ12.ZIP'), 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('FILE_ID.DIZ', art)
    z.writestr('SPACEQ.EXE', b'MZ' + bytes(4000))
# An ANSI description in colour, one with a SAUCE record, and one in Latin-1.
ansi = b''.join(b'\x1b[1;%dm\xdb\xdb\xdc\x1b[0;%d;44m Neon Night \x1b[5;41m\xb1\xb2\x1b[0m\r\n'
                % (31 + i % 6, 33 + i % 4) for i in range(8))
with zipfile.ZipFile(os.path.join(d, 'NEON.ZIP'), 'w') as z:
    z.writestr('FILE_ID.DIZ', ansi)
sauce = (b'\x1aSAUCE00' + b'Star Trader'.ljust(35) + b'Ann Sysop'.ljust(20) + b'Fire Crew'.ljust(20)
         + b'19960314' + bytes(4) + b'\x01\x01' + (80).to_bytes(2, 'little') + bytes(7) + b'\x01'
         + b'IBM VGA'.ljust(22, b'\0'))
with zipfile.ZipFile(os.path.join(d, 'TRADER.ZIP'), 'w') as z:
    z.writestr('FILE_ID.DIZ', b'\xc9\xcd\xcd\xcd\xbb Star Trader 2.0\r\n\xc8\xcd\xcd\xcd\xbc Trade in deep space\r\n' + sauce)
with zipfile.ZipFile(os.path.join(d, 'DOORS.ZIP'), 'w') as z:
    z.writestr('FILE_ID.DIZ', '\xb7 dRUNKEN dOORS pRESENTS \xb7\r\nUn jeu de r\xf4le o\xf9 le h\xe9ros d\xe9fend la cit\xe9.\r\n'.encode('latin-1'))
with zipfile.ZipFile(os.path.join(d, 'tools.zip'), 'w') as z:
    z.writestr('readme.txt', 'Handy tools\r\n')
open(os.path.join(d, 'song.mp3'), 'wb').write(bytes(2000))
os.mkdir(os.path.join(d, 'more'))
with zipfile.ZipFile(os.path.join(d, 'more', 'ASTRO.ZIP'), 'w') as z:
    z.writestr('FILE_ID.DIZ', 'Astro Trader\r\nTrade across deep space.\r\n')
PY
mkdir -p "$(dirname "$out")" "$shots/windows"
mkdir "$work/deutsch"
cp "$build"/bin/*.QLG "$work/deutsch/"
printf '[International]\r\nLanguage=DEUTSCH.QLG\r\n' > "$work/deutsch/quoril.ini"

# One X session for all pictures, with a window manager when there is one.
cat > "$work/session.sh" <<SH
#!/bin/sh
set -e
if command -v openbox >/dev/null; then openbox & sleep 1; fi
cd "$work" && HOME="$work" "$build/bin/quoril" --screenshot "$out" "$work/SPACEQ12.ZIP"
cd "$work/deutsch" && HOME="$work" "$build/bin/quoril" --screenshot "$shots/main-deutsch.png" \
    "$work/SPACEQ12.ZIP"
for shot in NEON TRADER DOORS; do
    cd "$work" && HOME="$work" "$build/bin/quoril" --screenshot "$shots/description-\$shot.png" \
        "$work/\$shot.ZIP"
done
cd "$work" && "$build/bin/tst_looks" --screenshot "$shots/windows" >/dev/null
SH
ninja -C "$build" quoril tst_looks >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24" sh "$work/session.sh"
echo "wrote $out, $shots/main-deutsch.png, $shots/description-*.png and $shots/windows/"

# The find window looking in the same folder, with the results of a query.
find_out="$(dirname "$out")/find.png"
HOME=$work xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/quoril" --screenshot "$find_out" --find "space" "$work"
echo "wrote $find_out"

# The about box, its rolling history, the tray menu and the menu-bar button beside it.
"$top/tests/shell/screenshot_shell.sh" --xvfb "$shots/shell" "$build"
