#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a plain debug build, then the
# same tests under AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer.
# The window's tests are among them (Qt Test on the offscreen platform, one smoke test of the
# real program on Xvfb); the build includes the window whenever Qt 6 Widgets is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
presets=(${PELORIN_TEST_PRESETS:-debug asan tsan})
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  cmake --preset "$preset" -DPELORIN_BUILD_UI=ON >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
