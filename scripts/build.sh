#!/usr/bin/env bash
# Sets up what is missing and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKT_WERROR=ON
cmake --build build
