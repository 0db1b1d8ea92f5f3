#!/usr/bin/env bash
# Builds the Debian package: sets up what is missing (with the packaging
# tools), builds the two programs in Release in build-package/ with Debian's
# hardening flags, and runs cpack. Progress goes to standard error; the
# .deb's path is the one line on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh package >&2

# Debian's build flags with all hardening on; no -g, cpack strips anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

# Only what the package holds is built: installing skips "all", so the fuzz
# replay programs are left out.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKT_BUILD_TESTS=OFF -DKT_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
cmake --build build-package --target ktmotor ktmotor-cli ktpackaging >&2

rm -f build-package/ktmotor_*.deb
(cd build-package && cpack -G DEB) >&2
for deb in build-package/ktmotor_*.deb; do
    echo "$(pwd)/$deb"
done
