#!/bin/sh
# How the window program ends when it is told to or cannot begin: no display is said, not an
# abort; the section list needs no display; the test mode refuses what the command line
# refuses, in its words; SIGTERM during a Dump ends it as a cancel (status 130), keeping what
# arrived in the .partial file and leaving no working file behind.
# Usage: program_endings.sh PELORIN
set -eu
program=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-endings-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 "$work/runtime"
fail() {
  echo "$*" >&2
  exit 1
}

# No display.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --simulate >"$work/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "no display: status $status: $(cat "$work/out")"
grep -q "^pelorin: no display: " "$work/out" || fail "no display: $(cat "$work/out")"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --print-sections >"$work/out"
grep -qx "Main Code" "$work/out" || fail "--print-sections without a display: $(cat "$work/out")"

# The test mode checks as the command line does.
export QT_QPA_PLATFORM=offscreen
refused() {
  status=0
  "$program" --simulate --pace unpaced "$@" >"$work/out" 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "$*: status $status: $(cat "$work/out")"
}
refused --press erase
grep -q "erase needs --section NAME" "$work/out" || fail "erase without a section: $(cat "$work/out")"
refused --press erase --section Nowhere
grep -q "No section 'Nowhere' in the layout" "$work/out" || fail "unknown section: $(cat "$work/out")"
refused --press download --section Logo --file "$work/missing.bin"
[ "$(grep -c -e '^pelorin: ' -e '^message box' "$work/out")" -eq 1 ] ||
  fail "a missing file says more than one thing: $(cat "$work/out")"
mkfifo "$work/fifo"
refused --press download --section Logo --file "$work/fifo"
grep -q "is not a regular file" "$work/out" || fail "a FIFO: $(cat "$work/out")"

# SIGTERM in the middle of a Dump.
"$program" --simulate --press dump --file "$work/dump.bin" --section All \
  >"$work/out" 2>&1 &
pid=$!
tries=0
# The dump arrives in a private file beside the target, named pelorin-*.tmp.
until [ -n "$(find "$work" -maxdepth 1 -name 'pelorin-*.tmp' -size +0 -print)" ]; do
  tries=$((tries + 1))
  [ "$tries" -le 1200 ] || { kill "$pid"; fail "no byte of the Dump within 120 s: $(cat "$work/out")"; }
  sleep 0.1
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 130 ] || fail "SIGTERM: status $status: $(cat "$work/out")"
[ -s "$work/dump.bin.partial" ] || fail "SIGTERM: no partial dump: $(ls "$work")"
[ "$(ls "$work" | grep -c -e '^dump\.bin' -e '^pelorin-.*\.tmp$')" -eq 1 ] ||
  fail "SIGTERM left: $(ls "$work")"
leftovers=$(find "$work/runtime" -type f ! -name 'pelorin-simulated-flash.bin' ! -name '*.lock')
[ -z "$leftovers" ] || fail "SIGTERM left working files: $leftovers"
echo "no display, refusals and SIGTERM end as they should"
