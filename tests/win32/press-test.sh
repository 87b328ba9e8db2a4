#!/usr/bin/env bash
# pelorin.exe as a script drives it, inside window-test.sh: the version, the section list, then a
# Download and a Dump against the simulated board of --simulate in two runs (its flash is kept
# between them), then the layout editor's test modes on a copy. Usage: press-test.sh PELORIN_EXE
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
# The layout editor's test modes on a copy of the program: the layout helper rewrites the copy
# once it has ended, and the next start lists the new sections; restoring brings the built-in
# layout back.
cp "$exe" "$work/copy.exe"
printf '%s\r\n' '[Main]' 'Ver=1.00' 'SegNumber=2' 'Seg0=All' 'Seg1=Boot Area' '[All]' \
  'StartAddr=0x00000000' 'SegSize=0x00200000' '[Boot Area]' 'StartAddr=0x00000000' \
  'SegSize=0x00010000' '[Config]' >"$work/layout.ini"
exe=$work/copy.exe
sections_become() {
  for _ in $(seq 50); do
    [[ $(run --print-sections) == *"$1"* ]] && return 0
    sleep 0.2
  done
  return 1
}
out=$(run --edit-layout "$(winepath -w "$work/layout.ini" 2>/dev/null)") || fail "--edit-layout: $out"
sections_become $'All\nBoot Area' || fail "the edited layout did not arrive: $(run --print-sections)"
out=$(run --restore-layout) || fail "--restore-layout: $out"
sections_become $'\nUsrDB\n' || fail "the built-in layout did not come back"
echo "pelorin.exe: version, sections, port choice, download, dump and layout editing passed"
