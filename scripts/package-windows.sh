#!/usr/bin/env bash
# Builds the mingw preset and packs the Windows programs into one zip:
#   build/mingw/pelorin-<version>-windows-x86_64.zip with pelorin.exe (the window),
#   pelorin-cli.exe, pelorin-layout-helper.exe and README.txt.
# Checks first that the programs import nothing but Windows' own DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target pelorin-cli pelorin-layout-helper pelorin
build=build/mingw
programs=("$build/cli/pelorin-cli.exe" "$build/tools/pelorin-layout-helper.exe"
          "$build/app_win32/pelorin.exe")

# Windows' own libraries: anything else would have to travel with the programs.
system_dll='^(kernel32|user32|advapi32|setupapi|msvcrt|ucrtbase|ws2_32|shell32|ole32|oleaut32|gdi32|comctl32|comdlg32|bcrypt|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'
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
sed 's/$/\r/' >"$stage/$name/README.txt" <<TEXT
Pelorin $version for Windows (64-bit)

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
zip="$PWD/$build/$name.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
echo "$zip"
