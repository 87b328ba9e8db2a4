#!/bin/sh
# The real program on a real X server: started with --simulate, it presses Download through
# its event queue and must end with "Mission completed" on its status line.
# Usage: smoke_xvfb.sh PELORIN
set -eu
program=$1
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run is not installed"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-smoke-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 20000 /dev/urandom >"$work/image.bin"
# A profile, working folder and simulated flash of its own; the X server's platform, not
# the offscreen one.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 "$work/runtime"
unset QT_QPA_PLATFORM
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --simulate --pace unpaced \
  --press download --file "$work/image.bin" --section Logo >"$work/out" 2>"$work/err" || status=$?
cat "$work/out"
if [ "$status" -ne 0 ] || ! grep -qx "status: Mission completed" "$work/out"; then
  echo "pelorin ended with status $status; its standard error:" >&2
  cat "$work/err" >&2
  exit 1
fi
