#!/bin/sh
# The configuration editor end to end: a copy of the built program saves an edited layout,
# its layout helper rewrites the copy after it has ended, the next start lists the new
# sections; a restore then brings back the built-in ones and the copy's original bytes.
# Usage: editor_e2e.sh PELORIN
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-editor-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
export QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$work/runtime"
cp "$1" "$work/pelorin"
cp "$1" "$work/original"

fail() {
  echo "$*" >&2
  exit 1
}

# The helper waits for the program to end, then replaces the file in one rename.
wait_for_change() {
  tries=0
  while cmp -s "$work/pelorin" "$1"; do
    tries=$((tries + 1))
    [ "$tries" -le 600 ] || fail "the layout helper did not rewrite the program within 60 s"
    sleep 0.1
  done
}

"$work/pelorin" --print-sections >"$work/default-sections"
grep -qx "Main Code" "$work/default-sections" || fail "no built-in layout at the first start"

printf '[Main]\r\nVer=1.00\r\nSegNumber=2\r\nSeg0=All\r\nSeg1=Bench Boot\r\n[All]\r\nStartAddr=0x00000000\r\nSegSize=0x00200000\r\n[Bench Boot]\r\nStartAddr=0x00000000\r\nSegSize=0x00010000\r\n' >"$work/edited.ini"
"$work/pelorin" --edit-layout "$work/edited.ini" >"$work/save-out" || fail "the save did not end the program: $(cat "$work/save-out")"
grep -qx "message box \[Information\]: The program to be restarted!" "$work/save-out" ||
  fail "no restart message: $(cat "$work/save-out")"
cmp -s "$work/_tmp_flash.txt" "$work/edited.ini" || fail "_tmp_flash.txt is not the editor's text"
wait_for_change "$work/original"
printf 'All\nBench Boot\n' >"$work/expected"
"$work/pelorin" --print-sections >"$work/edited-sections"
cmp -s "$work/edited-sections" "$work/expected" || fail "after the save: $(cat "$work/edited-sections")"
[ ! -e "$work/_tmp_flash.txt" ] || fail "the next start left _tmp_flash.txt behind"

cp "$work/pelorin" "$work/edited"
"$work/pelorin" --restore-layout >"$work/restore-out" || fail "the restore did not end the program"
wait_for_change "$work/edited"
"$work/pelorin" --print-sections >"$work/restored-sections"
cmp -s "$work/restored-sections" "$work/default-sections" || fail "after the restore: $(cat "$work/restored-sections")"
cmp -s "$work/pelorin" "$work/original" || fail "the restored program differs from the original"
echo "saved, rewritten, restored"
