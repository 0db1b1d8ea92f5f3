#!/usr/bin/env bash
# Sets up, builds, and starts the program. The desktop application does not
# exist yet: this starts the command-line program, with the arguments given
# (its help when there are none).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh >&2
echo "run: the desktop application is not built yet; starting ktmotor-cli instead." >&2
if [ $# -eq 0 ]; then
    set -- --help
fi
exec build/cli/ktmotor-cli "$@"
