#!/usr/bin/env bash
# Builds the package as the README does (no tests, no benchmarks) from a copy of the sources
# without tests/ and bench/, so that nothing there is needed, and checks the package.
#   scripts/release-check.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/sources"
git -C "$root" ls-files -z --cached --others --exclude-standard |
  grep -zv -e '^tests/' -e '^bench/' |
  (cd "$root" && tar --null -T - -cf -) | tar -xf - -C "$work/sources"
"$work/sources/scripts/setup.sh" "$work/build" -DCMAKE_BUILD_TYPE=Release \
  -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF \
  -DCMAKE_UNITY_BUILD=ON
"$root/scripts/package-check.sh" "$work/build"
