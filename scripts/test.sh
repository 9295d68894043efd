#!/usr/bin/env bash
# Builds the project and runs every test.
#   scripts/test.sh            debug build
#   scripts/test.sh asan       AddressSanitizer + UBSan build
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-debug}"

scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
QT_QPA_PLATFORM=offscreen ctest --preset "$preset"
