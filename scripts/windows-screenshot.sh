#!/usr/bin/env bash
# Takes the picture of pelorin.exe's window for the README: the program with --simulate on an
# Xvfb display of its own under Wine (tests/win32/window-test.sh), the screen grabbed with
# ImageMagick's import and trimmed to the window.
#   windows-screenshot.sh PELORIN_EXE OUTPUT.png
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "$1")
out=$(realpath -m "$2")
inner=$(mktemp "${TMPDIR:-/tmp}/pelorin-shot-XXXXXX.sh")
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
set -uo pipefail
"$PELORIN_WINE" "$1" --simulate >/dev/null 2>&1 &
pid=$!
sleep 4
import -window root "$2.full.png"
kill "$pid" 2>/dev/null
wineserver -k 2>/dev/null
convert "$2.full.png" -trim +repage "$2"
rm -f "$2.full.png"
INNER
"$here/tests/win32/window-test.sh" "$here/build/mingw/wine-prefix-window" "$inner" "$exe" "$out"
echo "$out"
