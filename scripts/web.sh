#!/usr/bin/env bash
# Installs what is missing, builds the web page into build-web/page, and serves it on
# http://localhost:8080 (the demo: http://localhost:8080/?demo).
#   scripts/web.sh [--build-only]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KORVANE_WEB=1 "$root/scripts/setup.sh" "$root/build-web" -DCMAKE_BUILD_TYPE=Release \
  -DKORVANE_QT=OFF -DKORVANE_TESTS=OFF -DKORVANE_WEB=ON
[ "${1:-}" != --build-only ] || exit 0
echo "Serving the page on http://localhost:8080 (the demo: http://localhost:8080/?demo); Ctrl+C stops"
cd "$root/build-web/page"
exec python3 -m http.server 8080 --bind 127.0.0.1
