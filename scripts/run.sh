#!/usr/bin/env bash
# Installs what is missing, builds the two programs it may run (not the tests or benchmarks), and
# opens the window on the built-in simulated controller.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" "$root/build" --target korvane-config --target korvane-cli \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "$(uname)" = Linux ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the window on; here is the command line on the simulated controller:"
  "$root/build/korvane-cli" --demo info
  echo "(the window: build/korvane-config --demo, on a desktop)"
  exit 0
fi
exec "$root/build/korvane-config" --demo "$@"
