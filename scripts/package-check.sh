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
# The completion, as bash calls it: the words so far, the last one being completed.
completions() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _korvane_cli
           echo "${COMPREPLY[*]}"' _ "$unpacked/usr/share/bash-completion/completions/korvane-cli" "$@"
}
expect_completion() {
  local want="$1"
  shift
  local got
  got="$(completions korvane-cli "$@")"
  [ "$got" = "$want" ] || { echo "completing '$*' gave '$got', not '$want'" >&2; exit 1; }
}
expect_completion "ports info set reset flash check settings" ""
expect_completion "auto config speed" set ""
expect_completion "--yes" --demo flash --y
expect_completion "$unpacked/usr/bin/korvane-cli" --port "$unpacked/usr/bin/korvane-cl"
for program in korvane-config korvane-cli korvane-sim; do
  test -s "$unpacked/usr/share/man/man1/$program.1"
  "$unpacked/usr/bin/$program" --version
done
test -s "$unpacked/usr/share/icons/hicolor/scalable/apps/korvane-config.svg"
"$unpacked/usr/bin/korvane-cli" --demo info
echo "the package holds what it should, and its programs run"
