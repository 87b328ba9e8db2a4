#!/usr/bin/env bash
# The Windows installer under Wine, in a throw-away prefix: a silent per-machine install into a
# chosen folder (/S /PATH /D=...) puts the programs, the Start menu entry, the Apps and Features
# entry and the PATH entry in place, and the installed pelorin-cli.exe runs; a silent per-user
# install lands in the user's programs folder. Each silent uninstall removes what it put there
# and leaves the user's settings.
#   tests/wine/installer-test.sh build/mingw/pelorin-<version>-windows-x86_64-setup.exe
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=$(realpath "$1")
version=$(sed -n 's/^project(Pelorin VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
IFS=. read -r major minor patch tweak <<<"$version"
start=$SECONDS

prefix=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-setup-wine-XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
win() { "$here/../../scripts/wine-run.sh" --prefix "$prefix" "$@" </dev/null; }
fail() {
  echo "installer test: $*" >&2
  exit 1
}
# One value of a registry key, or nothing (and status 1) when it is not there.
reg_value() {
  win reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 \{1,\}REG_[A-Z_]* \{1,\}//p" | grep .
}
# Waits (bounded) for a path to go: the uninstaller runs on from a copy of itself.
wait_gone() {
  for _ in $(seq 240); do
    [ -e "$1" ] || return 0
    sleep 0.5
  done
  return 1
}

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelorin'
user_uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelorin'
machine_env='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
settings='HKCU\Software\Local AppWizard-Generated Applications\pelorin\Config'

# The user's settings from an earlier run of the program.
win reg add "$settings" /v ChipType /t REG_DWORD /d 7 /f >/dev/null

# Per machine, into a folder with a blank in its name, pelorin-cli on the PATH. /D= takes the
# rest of the command line as it stands, unquoted: cmd passes it on so, where Wine would quote.
setup_win=$(win winepath -w "$setup" | tr -d '\r')
win cmd /c "$setup_win /S /PATH /D=C:\Tools\Pelorin Test"
dir="$prefix/drive_c/Tools/Pelorin Test"
for f in pelorin-cli.exe pelorin-layout-helper.exe README.txt uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the install put no $f in place"
done
window=no
[ -f "$dir/pelorin.exe" ] && window=yes
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
ls "$menu"/Pelorin*.lnk >/dev/null 2>&1 || fail "no Start menu entry in $menu"
out=$(win "C:\\Tools\\Pelorin Test\\pelorin-cli.exe" --version | tr -d '\r')
[ "$out" = "pelorin-cli V$major.$minor$patch$tweak" ] || fail "installed pelorin-cli --version: '$out'"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "no Apps and Features entry"
reg_value "$uninstall_key" UninstallString | grep -qF 'C:\Tools\Pelorin Test\uninstall.exe' ||
  fail "the uninstall entry does not name the uninstaller"
reg_value "$machine_env" Path | grep -qiF ';C:\Tools\Pelorin Test' || fail "pelorin-cli is not on the PATH"
echo "per-machine install: programs (window: $window), Start menu, Apps and Features, PATH; $out"

win "$dir/uninstall.exe" /S
wait_gone "$dir" || fail "the uninstaller left $(ls "$dir" | tr '\n' ' ')"
win reg query "$uninstall_key" >/dev/null 2>&1 && fail "the Apps and Features entry is still there"
! reg_value "$machine_env" Path | grep -qiF 'Pelorin Test' || fail "the PATH still names the folder"
ls "$menu"/Pelorin*.lnk >/dev/null 2>&1 && fail "the Start menu entry is still there"
[ "$(reg_value "$settings" ChipType)" = 0x7 ] || fail "the uninstaller took the user's settings"
echo "per-machine uninstall: all gone but the user's settings"

# Per user, to the default place, on the user's PATH (which has no such value yet).
win "$setup" /S /CurrentUser /PATH
user_dir=$(find "$prefix/drive_c/users" -type d -path '*/AppData/Local/Programs/Pelorin' | head -n 1)
[ -n "$user_dir" ] && [ -f "$user_dir/pelorin-cli.exe" ] || fail "the per-user install is not in the user's programs folder"
reg_value "$user_uninstall_key" DisplayName >/dev/null || fail "no per-user Apps and Features entry"
reg_value 'HKCU\Environment' Path | grep -qF 'Programs\Pelorin' || fail "pelorin-cli is not on the user's PATH"
win "$user_dir/uninstall.exe" /S
wait_gone "$user_dir" || fail "the per-user uninstaller left files"
reg_value 'HKCU\Environment' Path >/dev/null && fail "the user's PATH is still there"
[ "$(reg_value "$settings" ChipType)" = 0x7 ] || fail "the uninstaller took the user's settings"
echo "per-user install and uninstall: in and out of the user's programs folder and PATH"
echo "installer test passed in $((SECONDS - start)) s"
