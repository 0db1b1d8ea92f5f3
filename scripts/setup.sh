#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Runs as root on CI; elsewhere through sudo.
set -euo pipefail

# A font of its own keeps text measurable where the machine has none.
packages=(cmake g++ ninja-build qt6-base-dev qt6-serialport-dev libgtest-dev libbenchmark-dev
          fonts-dejavu-core)

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: not a Debian or Ubuntu system; install these yourself: ${packages[*]}" >&2
    exit 1
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
