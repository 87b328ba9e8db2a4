#!/usr/bin/env bash
# Installs what is missing, builds, and runs a Download, an Erase and a Dump against the
# built-in simulated board.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/sim/pelorin-demo
