#!/usr/bin/env bash
# Installs what is missing, checks that every C and C++ file is formatted as .clang-format
# says, then builds and runs every test: a plain debug build, then the
# same tests under AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer, then
# the Windows build (mingw-w64) with its tests under Wine, the end-to-end one against the
# debug build's simulated board. The Linux builds include the window and its tests (Qt Test on
# the offscreen platform, one smoke test of the real program on Xvfb); the Windows build has
# its own window, pelorin.exe, whose tests run under Wine on an Xvfb display of their own.
# Then the packages: after the Windows tests, the zip and the installer, which is installed,
# run and uninstalled under Wine; at the end the Debian package from the release preset, held
# to lintian (scripts/check-package.sh). PELORIN_TEST_PRESETS=... chooses the presets;
# PELORIN_TEST_PACKAGE=0 leaves the packages out.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh
presets=(${PELORIN_TEST_PRESETS:-debug asan tsan mingw})
package=${PELORIN_TEST_PACKAGE:-1}
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  ui=(-DPELORIN_BUILD_UI=ON)
  [ "$preset" = mingw ] && ui=()
  cmake --preset "$preset" "${ui[@]}" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
  if [ "$preset" = mingw ] && [ "$package" != 0 ]; then
    echo "=== Windows installer ==="
    # Shown through a pipe: reopening /dev/stderr would truncate a log the output goes to.
    setup=$(./scripts/package-windows.sh | tee >(cat >&2) | tail -n 1)
    ./tests/wine/installer-test.sh "$setup"
  fi
done
if [ "$package" != 0 ]; then
  echo "=== Debian package ==="
  ./scripts/check-package.sh
fi
