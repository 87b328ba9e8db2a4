#!/usr/bin/env bash
# Builds the mingw preset and packs the Windows programs twice, side by side:
#   build/mingw/pelorin-<version>-windows-x86_64.zip to unpack anywhere, and
#   build/mingw/pelorin-<version>-windows-x86_64-setup.exe, an installer (NSIS, see
#   packaging/pelorin.nsi; tests/wine/installer-test.sh tries it under Wine).
# Both hold pelorin-cli.exe, pelorin-layout-helper.exe, README.txt and, when the build makes
# it, the window program pelorin.exe. Checks first that the programs import nothing but
# Windows' own DLLs. Prints the installer's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset mingw >/dev/null
build=build/mingw
targets=(pelorin-cli pelorin-layout-helper)
window=no
if ninja -C "$build" -t query pelorin >/dev/null 2>&1; then
  targets+=(pelorin)
  window=yes
fi
cmake --build --preset mingw --target "${targets[@]}"
programs=("$build/cli/pelorin-cli.exe" "$build/tools/pelorin-layout-helper.exe")
if [ $window = yes ]; then
  window_exe=$(find "$build" -name pelorin.exe -not -path "$build/wine-prefix/*" | head -n 1)
  [ -n "$window_exe" ] || { echo "the build made no pelorin.exe" >&2; exit 1; }
  programs=("$window_exe" "${programs[@]}")
fi

# Windows' own libraries: anything else would have to travel with the programs.
system_dll='^(kernel32|user32|advapi32|setupapi|msvcrt|ucrtbase|ws2_32|shell32|ole32|oleaut32|gdi32|bcrypt|ntdll|comctl32|comdlg32|uxtheme|dwmapi|shlwapi|imm32|version|winmm|msimg32|api-ms-win-[a-z0-9-]+)\.dll$'
for exe in "${programs[@]}"; do
  while read -r dll; do
    if ! [[ ${dll,,} =~ $system_dll ]]; then
      echo "$exe imports $dll, which is not part of Windows" >&2
      exit 1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  echo "$(basename "$exe"): imports $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
done

version=$(sed -n 's/^project(Pelorin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-zip-XXXXXX")
trap 'rm -rf "$stage"' EXIT
name=pelorin-$version-windows-x86_64
mkdir "$stage/$name"
cp "${programs[@]}" "$stage/$name/"
{
  echo "Pelorin $version for Windows (64-bit)"
  echo
  if [ $window = yes ]; then
    cat <<'TEXT'
pelorin.exe is the operator's window: choose the port, the operation and the file, press the
button. pelorin-cli.exe does the same from a command prompt or a script.

TEXT
  fi
  cat <<'TEXT'
pelorin-cli.exe loads firmware into the flash of set-top-box boards over a serial line,
erases that flash, or reads it back into a file. It needs no other file: copy it anywhere.

  pelorin-cli download FILE --port COM3 --section NAME [--chip QV101] [--xtal 27]
  pelorin-cli dump OUTFILE --port COM3 --section NAME
  pelorin-cli erase --port COM3 --section NAME
  pelorin-cli ports | chips | sections
  pelorin-cli --help

Ports are COMn as the Device Manager shows them; "pelorin-cli ports" lists those present.
Ctrl+C cancels an operation: the port is closed and a partial dump is kept.

pelorin-layout-helper.exe rewrites the segment layout a program file carries once that
program has ended; the loader starts it itself, it is not run by hand.
TEXT
} | sed 's/$/\r/' >"$stage/$name/README.txt"
zip="$PWD/$build/$name.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
echo "$zip"

setup="$PWD/$build/$name-setup.exe"
with_window=()
[ $window = yes ] && with_window=(-DWITH_WINDOW)
makensis -V2 "-DVERSION=$version" "-DSTAGE=$stage/$name" "-DOUTFILE=$setup" "${with_window[@]}" \
  packaging/pelorin.nsi
echo "$setup"
