#!/usr/bin/env bash
# pelorin.exe as a script drives it, inside window-test.sh: the version, the section list, then a
# Download and a Dump against the simulated board of --simulate in two runs (its flash is kept
# between them). Usage: press-test.sh PELORIN_EXE
set -uo pipefail
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
run() { "$PELORIN_WINE" "$exe" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

out=$(run --version) || fail "--version: $out"
[[ $out == *"pelorin V2.105"* ]] || fail "--version printed: $out"
out=$(run --print-sections) || fail "--print-sections: $out"
[[ $out == *$'\nUsrDB\n'* ]] || fail "--print-sections printed: $out"
out=$(run --press erase --port COM999 --section UsrDB)
[ $? -eq 2 ] && [[ $out == *"port COM999 is not listed"* ]] || fail "an unlisted --port: $out"

head -c 300000 /dev/urandom >"$work/image.bin"
image=$(winepath -w "$work/image.bin" 2>/dev/null)
dump=$(winepath -w "$work/dump.bin" 2>/dev/null)
out=$(run --simulate --pace unpaced --press download --file "$image" --section UsrDB) ||
  fail "download: $out"
[[ $out == *"status: Mission completed"* ]] || fail "download printed: $out"
out=$(run --simulate --pace unpaced --press dump --file "$dump" --section UsrDB) ||
  fail "dump: $out"
[ "$(stat -c %s "$work/dump.bin")" -eq $((0x80000)) ] || fail "the dump's size"
cmp -n 300000 "$work/image.bin" "$work/dump.bin" || fail "the dump differs from the download"
echo "pelorin.exe: version, sections, port choice, download and dump passed"
