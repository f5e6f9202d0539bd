#!/usr/bin/env bash
# Makes the .deb in a configured build folder and checks it as a user would meet it: it follows
# Debian's rules (lintian, failing on an error), its files validate, and the programs run from the
# unpacked package.
#   scripts/package-check.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: scripts/package-check.sh BUILD_DIR}" && pwd)"
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
package="$(ls -t "$build"/korvane_*.deb | head -1)"
dpkg-deb -x "$package" "$unpacked"
echo "$(basename "$package"): $(dpkg-deb -f "$package" Depends)"

# Errors fail; warnings are shown, for a person to weigh.
lintian --allow-root --fail-on error "$package"
# The changelog's newest entry is the version packaged (a release that forgot it would ship
# another version's notes).
changelog_version="$(zcat "$unpacked/usr/share/doc/korvane/changelog.gz" | dpkg-parsechangelog -l- -S Version)"
[ "$changelog_version" = "$(dpkg-deb -f "$package" Version)" ] ||
  { echo "the changelog's newest entry is $changelog_version, not the package's version" >&2; exit 1; }

desktop-file-validate "$unpacked/usr/share/applications/korvane-config.desktop"
appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/org.korvane.config.metainfo.xml"
[ "$(dpkg-deb -f "$package" Recommends)" = bash-completion ] ||
  { echo "the package does not recommend bash-completion" >&2; exit 1; }
# The completion, as bash calls it: the words so far, the last one being completed. Prints the
# words offered joined by '|', then " (filenames)" when readline is asked to quote them as file
# names (compopt works only while bash completes, so here it only takes note).
completions() {
  bash -c 'source "$1"; shift
           compopt() { [ "$*" != "-o filenames" ] || filenames=" (filenames)"; }
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _korvane_cli
           IFS="|"; echo "${COMPREPLY[*]}${filenames:-}"' _ "$unpacked/usr/share/bash-completion/completions/korvane-cli" "$@"
}
expect_completion() {
  local want="$1"
  shift
  local got
  got="$(completions korvane-cli "$@")"
  [ "$got" = "$want" ] || { echo "completing '$*' gave '$got', not '$want'" >&2; exit 1; }
}
options="--port|--demo|--fast|--verbose|--all|--expect|--json|--history|--version|--help"
expect_completion "ports|info|set|reset|flash|verify|check|settings" ""
expect_completion "auto|config|speed" set ""
expect_completion "--yes" --demo flash --y
expect_completion "--wait-back" --history h.jsonl flash --w
expect_completion "$options" check --
expect_completion "$options|--kmh" set speed 40 --
expect_completion "$unpacked/usr/bin/korvane-cli (filenames)" --port "$unpacked/usr/bin/korvane-cl"
# A file name with a space is one word; only firmware files and folders for flash, JSON files for
# settings.
files="$unpacked/completion"
mkdir -p "$files/old bikes"
touch "$files/my firmware.hex" "$files/bike 2.json" "$files/notes.txt"
expect_completion "$files/my firmware.hex|$files/old bikes (filenames)" flash "$files/"
expect_completion "$files/bike 2.json|$files/old bikes (filenames)" settings load "$files/"
expect_completion "$files/my firmware.hex (filenames)" --demo check "$files/my"
expect_completion "$files/my firmware.hex (filenames)" verify "$files/my"
# The man pages: --help, then the sections of packaging/PROGRAM.h2m.
man_page() { zcat "$unpacked/usr/share/man/man1/$1.1.gz" | sed 's/\\-/-/g; s/\\f[BIRP]//g'; }
expect_in_man_page() {
  # Not grep -q: stopping at the first match would fail the pipe (pipefail) when sed is not done.
  man_page "$1" | grep -E "$2" >/dev/null ||
    { echo "the man page of $1 has no line like '$2'" >&2; exit 1; }
}
for program in korvane-config korvane-cli korvane-sim; do
  expect_in_man_page "$program" '^\.SH "EXIT STATUS"$'
  expect_in_man_page "$program" '^\.SH EXAMPLES$'
  "$unpacked/usr/bin/$program" --version
done
expect_in_man_page korvane-cli '^\.SH FILES$'
expect_in_man_page korvane-cli '^\.B speedLimitMph$'
# Every switch of korvane-cli has an entry of its own, not only a mention in a synopsis.
for switch in port demo fast verbose all expect json history version help kmh yes wait-back force; do
  expect_in_man_page korvane-cli "^--$switch( |$)"
done
test -s "$unpacked/usr/share/icons/hicolor/scalable/apps/korvane-config.svg"
# The web page, when the build was given one (-DKORVANE_WEB_PAGE).
if grep -q '^KORVANE_WEB_PAGE:PATH=.' "$build/CMakeCache.txt"; then
  for file in index.html page.js style.css korvane.js korvane.wasm; do
    test -s "$unpacked/usr/share/korvane/web/$file" ||
      { echo "the package has no usr/share/korvane/web/$file" >&2; exit 1; }
  done
fi
"$unpacked/usr/bin/korvane-cli" --demo info
echo "the package holds what it should, and its programs run"
