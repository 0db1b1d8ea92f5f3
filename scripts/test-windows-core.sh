#!/usr/bin/env bash
# Cross-builds the Qt-free core (compiler/ and its tests) for 64-bit Windows
# with MinGW-w64 into build-windows/ and runs the tests under Wine, headless.
# Exits non-zero when the build or any test fails. The whole application on
# Windows is built with Qt's own kits instead (CMakePresets.json).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh windows
cmake --preset windows-core
cmake --build --preset windows-core

# A prefix of our own, made on the first run; no window, no Mono or Gecko
# installer, no debug chatter.
export WINEPREFIX="$PWD/build-windows/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test-windows-core: creating the Wine prefix in $WINEPREFIX"
    # Without 32-bit Wine it names a missing syswow64 program; harmless.
    if ! wineboot --init >build-windows/wineboot.log 2>&1; then
        cat build-windows/wineboot.log >&2
        exit 1
    fi
    wineserver -w
fi

log=build-windows/compiler_tests.log
status=0
timeout 600 wine build-windows/tests/compiler/compiler_tests.exe 2>&1 | tee "$log" ||
    status=${PIPESTATUS[0]}
# A program that timed out may live on inside Wine.
[ "$status" -ne 124 ] || wineserver -k
wineserver -w
if [ "$status" -ne 0 ]; then
    echo "test-windows-core: the tests failed under Wine (exit $status)" >&2
    exit "$status"
fi
# The number rules are what most easily differ between C libraries.
if ! grep -q '^\[       OK \] NumberRules\.' "$log"; then
    echo "test-windows-core: the number rule tests did not run" >&2
    exit 1
fi
echo "test-windows-core: all tests passed under Wine"
