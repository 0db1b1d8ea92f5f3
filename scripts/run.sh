#!/usr/bin/env bash
# Sets up what is missing, builds only the desktop application, in Release
# and in a build folder of its own (build-run/), and starts it with a virtual
# drive attached. Arguments are passed on to it. The tests are
# scripts/test.sh's business.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >&2
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DKT_BUILD_TESTS=OFF \
    -DKT_BUILD_BENCH=OFF >&2
cmake --build build-run --target ktmotor ktmotor-cli >&2
exec build-run/app/ktmotor --virtual-drive "$@"
