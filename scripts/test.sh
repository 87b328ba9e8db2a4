#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a plain debug build, then the
# same tests under AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer, then
# the Windows build (mingw-w64) with its tests under Wine, the end-to-end one against the
# debug build's simulated board. The Linux builds include the window and its tests (Qt Test on
# the offscreen platform, one smoke test of the real program on Xvfb); the Windows build has
# its own window, pelorin.exe, whose tests run under Wine on an Xvfb display of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
presets=(${PELORIN_TEST_PRESETS:-debug asan tsan mingw})
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  ui=(-DPELORIN_BUILD_UI=ON)
  [ "$preset" = mingw ] && ui=()
  cmake --preset "$preset" "${ui[@]}" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
