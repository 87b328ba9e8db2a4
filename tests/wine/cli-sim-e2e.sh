#!/usr/bin/env bash
# The Windows pelorin-cli.exe under Wine against the Linux pelorin-sim: the board's
# pseudo-terminal is shown to Wine as COM50; a Download, a Dump and an Erase of the Logo
# section must leave exactly the expected bytes. Exits 77 (skipped) when no Linux simulator
# has been built.
#   cli-sim-e2e.sh WINE_RUN PELORIN_CLI_EXE PELORIN_SIM WINEPREFIX
set -uo pipefail
wine_run=$1 cli=$2 sim=$3
export WINEPREFIX=$4
if [ ! -x "$sim" ]; then
  echo "no Linux pelorin-sim at $sim (build the debug preset first): skipped"
  exit 77
fi
logo_start=$((0x130000)) logo_size=$((0x8000))
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-wine-e2e-XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com50"
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

cli_run() {
  echo "> pelorin-cli $*"
  "$wine_run" "$cli" "$@" --port COM50 </dev/null
}

head -c "$logo_size" /dev/urandom >"$work/logo.bin"
cli_run download "$(winpath "$work/logo.bin")" --section Logo || fail "download"
cli_run dump "$(winpath "$work/dump.bin")" --section Logo || fail "dump after download"
cmp "$work/logo.bin" "$work/dump.bin" || fail "the dump differs from what was downloaded"
cli_run erase --section Logo || fail "erase"
# Into the same file again: a finished dump replaces the earlier one.
cli_run dump "$(winpath "$work/dump.bin")" --section Logo || fail "dump after erase"
cmp <(head -c "$logo_size" /dev/zero | tr '\0' '\377') "$work/dump.bin" ||
  fail "the erased section is not all 0xFF"
# The board's own flash file shows the erase too.
cmp <(head -c "$logo_size" /dev/zero | tr '\0' '\377') \
    <(tail -c +$((logo_start + 1)) "$work/flash.bin" | head -c "$logo_size") ||
  fail "the board's flash file does not show the erase"
echo "download, dump and erase through COM50: byte-exact"
