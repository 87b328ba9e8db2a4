#!/usr/bin/env bash
# Idle CPU time of the Windows port monitor under Wine, on a quiet pseudo-terminal shown as
# COM40: once as Wine has it (every comm event wait that has to wait ends at once) and once
# with the terminal given modem lines (waits that wait, as on Windows). Prints the figures.
#   scripts/bench-wine-monitor.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target pelorin-bench-monitor-idle pelorin_wine_host_tools >/dev/null
build=$PWD/build/mingw
prefix=$build/wine-prefix
trap 'tests/wine/pty-bridge.sh stop "$prefix" >/dev/null; tests/wine/wine-server.sh stop "$prefix" >/dev/null' EXIT
tests/wine/wine-server.sh start "$prefix" >/dev/null
tests/wine/pty-bridge.sh start "$build/tests/wine/pelorin-pty-bridge" "$prefix" >/dev/null
bench=$build/bench/pelorin-bench-monitor-idle.exe
"$build/wine-run" "$bench" 40 "$seconds" "(Wine, pseudo-terminal)"
LD_PRELOAD=$build/tests/wine/libpelorin_pty_modem.so \
  "$build/wine-run" "$bench" 40 "$seconds" "(Wine, pseudo-terminal with modem lines)"
