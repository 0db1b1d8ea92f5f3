#!/usr/bin/env bash
# Sets up, builds, and starts the desktop application with a virtual drive
# attached. Arguments are passed on to it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh >&2
exec build/app/ktmotor --virtual-drive "$@"
