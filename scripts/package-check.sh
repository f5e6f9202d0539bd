#!/usr/bin/env bash
# Makes the .deb in a configured build folder and checks it as a user would meet it: its files
# validate, and the programs run from the unpacked package.
#   scripts/package-check.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: scripts/package-check.sh BUILD_DIR}" && pwd)"
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
package="$(ls -t "$build"/korvane_*.deb | head -1)"
dpkg-deb -x "$package" "$unpacked"
echo "$(basename "$package"): $(dpkg-deb -f "$package" Depends)"

desktop-file-validate "$unpacked/usr/share/applications/korvane-config.desktop"
appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/org.korvane.config.metainfo.xml"
bash -n "$unpacked/usr/share/bash-completion/completions/korvane-cli"
for program in korvane-config korvane-cli korvane-sim; do
  test -s "$unpacked/usr/share/man/man1/$program.1"
  "$unpacked/usr/bin/$program" --version
done
test -s "$unpacked/usr/share/icons/hicolor/scalable/apps/korvane-config.svg"
"$unpacked/usr/bin/korvane-cli" --demo info
echo "the package holds what it should, and its programs run"
