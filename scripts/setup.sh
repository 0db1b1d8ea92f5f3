#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Runs as root on CI; elsewhere through sudo.
#   scripts/setup.sh            what building and testing need
#   scripts/setup.sh package    and what making and checking the .deb needs
#   scripts/setup.sh windows    and the MinGW-w64 cross compiler and Wine
#   scripts/setup.sh look       and a virtual display and screenshots, to see
#                               the windows as a person does (xvfb-run, import, xdotool)
set -euo pipefail

# A font of its own keeps text measurable where the machine has none.
packages=(cmake g++ ninja-build qt6-base-dev qt6-serialport-dev libgtest-dev libbenchmark-dev
          fonts-dejavu-core)
for group in "$@"; do
    case "$group" in
    package) packages+=(dpkg-dev file desktop-file-utils shared-mime-info lintian) ;;
    windows) packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64) ;;
    look) packages+=(xvfb xauth imagemagick xdotool) ;;
    *) echo "setup: unknown group '$group' (package, windows, look)" >&2; exit 64 ;;
    esac
done

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
