#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the about box (still and with the history rolling), the tray menu and the
# menu-bar button, for a look by eye. Usage: tests/shell/screenshot_shell.sh [OUTDIR] [BUILDDIR]
# The widgets are grabbed off screen, so no X server is needed; with --xvfb the same runs
# under Xvfb to use the real X11 font and style set-up.
set -e

xvfb=
if [ "$1" = "--xvfb" ]; then
    xvfb=1
    shift
fi
here=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$here/build/screenshots/shell}
build=${2:-$here/build}

ninja -C "$build" tst_shell >/dev/null
mkdir -p "$out"
if [ -n "$xvfb" ]; then
    xvfb-run -a "$build/bin/tst_shell" --screenshot "$out"
else
    QT_QPA_PLATFORM=offscreen "$build/bin/tst_shell" --screenshot "$out"
fi
ls "$out"/*.png
