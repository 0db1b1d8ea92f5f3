#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh
# Widget tests never need a display.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure
