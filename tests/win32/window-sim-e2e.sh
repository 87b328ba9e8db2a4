#!/usr/bin/env bash
# pelorin.exe under Wine against the Linux pelorin-sim, inside window-test.sh: the board's
# pseudo-terminal is shown to Wine as COM50; a Download and then a Dump of the Logo section
# through the window's test mode, and the board's flash must hold the file.
# Exits 77 (skipped) when no Linux simulator has been built.
#   window-sim-e2e.sh PELORIN_EXE PELORIN_SIM
set -uo pipefail
exe=$1 sim=$2
if [ ! -x "$sim" ]; then
  echo "no Linux pelorin-sim at $sim (build the debug preset first): skipped"
  exit 77
fi
logo_start=$((0x130000)) logo_size=$((0x8000))
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-window-e2e-XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com50"
  "$PELORIN_WINE" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v PelorinCOM50 /f \
    </dev/null >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; [ -f "$work/sim.log" ] && tail -20 "$work/sim.log"; exit 1; }
winpath() { echo "Z:${1//\//\\}"; }

"$sim" --link "$work/board" --flash "$work/flash.bin" --pace unpaced </dev/null >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do [ -e "$work/board" ] && break; sleep 0.05; done
[ -e "$work/board" ] || fail "the simulated board did not start"
ln -sfn "$work/board" "$WINEPREFIX/dosdevices/com50"
# Wine lists the ports it found at start-up; the window lists what the registry names.
"$PELORIN_WINE" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v PelorinCOM50 /d COM50 /f \
  </dev/null >/dev/null 2>&1 || fail "cannot list COM50"

press() {
  echo "> pelorin $*"
  "$PELORIN_WINE" "$exe" --press "$@" --port COM50 --section Logo </dev/null 2>&1 | tr -d '\r' |
    tee "$work/out.txt"
  grep -q "status: Mission completed" "$work/out.txt"
}

head -c "$logo_size" /dev/urandom >"$work/logo.bin"
press download --file "$(winpath "$work/logo.bin")" || fail "download"
press dump --file "$(winpath "$work/dump.bin")" || fail "dump after download"
cmp "$work/logo.bin" "$work/dump.bin" || fail "the dump differs from what was downloaded"
cmp "$work/logo.bin" <(tail -c +$((logo_start + 1)) "$work/flash.bin" | head -c "$logo_size") ||
  fail "the board's flash does not hold the file"
echo "pelorin.exe: download and dump through COM50, byte-exact"
