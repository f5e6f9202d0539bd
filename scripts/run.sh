#!/usr/bin/env bash
# Installs what is missing, builds, and starts the simulated controller on a pseudo-terminal.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$root/build/korvane-sim" "$@"
