#!/usr/bin/env bash
# Redraws the README's pictures of the window and copies them into docs/screenshots. The tests
# draw them into the debug build tree; nothing else writes into the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset debug -DPELORIN_BUILD_UI=ON >/dev/null
cmake --build --preset debug --target pelorin_window_view_tests pelorin_about_box_tests
ctest --preset debug -R 'screenshot' --output-on-failure
cp build/debug/tests/ui/screenshots/*.png docs/screenshots/
ls -l docs/screenshots
