#!/usr/bin/env bash
# Installs what is missing on Debian or Ubuntu, then configures and builds: every target, or
# only those named with --target (repeatable).
#   scripts/setup.sh BUILD_DIR [--target NAME]... [extra cmake arguments...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:?usage: scripts/setup.sh BUILD_DIR [--target NAME]... [cmake arguments...]}"
shift
configure=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = --target ]; then
    targets+=(--target "${2:?--target needs a target name}")
    shift 2
  else
    configure+=("$1")
    shift
  fi
done

# Each entry lists alternative names of one package (Debian's first, then Ubuntu's).
needed=(
  "cmake" "ninja-build" "g++" "pkg-config"
  "qt6-base-dev" "qt6-serialport-dev|libqt6serialport6-dev"
  "libgtest-dev" "libgmock-dev" "librapidcheck-dev" "libcli11-dev" "nlohmann-json3-dev" "bats"
  # The man pages and the .deb (cpack -G DEB).
  "help2man" "dpkg-dev" "file"
)
# The web page (KORVANE_WEB): Emscripten, whose optimizer needs acorn; its tests also need
# Chromium, and npm for Playwright.
web=("emscripten" "node-acorn")
if [ -n "${KORVANE_TEST_TOOLS:-}" ]; then
  web+=("chromium")
  command -v npm >/dev/null || web+=("npm")
fi
if [ -n "${KORVANE_WEB:-}" ]; then
  needed=("cmake" "ninja-build" "${web[@]}")
# What the test command also needs: formatting, the package's checks, the clang + libc++ build,
# and the web page's, taken in the same call since each call to apt-get pays for dpkg's triggers.
# Not needed to build, package and run the programs.
elif [ -n "${KORVANE_TEST_TOOLS:-}" ]; then
  needed+=(
    "clang-format" "desktop-file-utils" "appstream" "lintian"
    "clang" "clang-tidy" "libc++-dev" "libc++abi-dev" "googletest"
    "g++-mingw-w64-x86-64-posix" "gcc-mingw-w64-x86-64-posix" "wine64"
    "${web[@]}"
  )
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for entry in "${needed[@]}"; do
  IFS='|' read -r -a names <<<"$entry"
  found=""
  for name in "${names[@]}"; do installed "$name" && found=1 && break; done
  [ -n "$found" ] || missing+=("$entry")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
  # All at once under their first names; should one be unknown here, each entry name by name.
  if ! install "${missing[@]%%|*}"; then
    for entry in "${missing[@]}"; do
      IFS='|' read -r -a names <<<"$entry"
      for name in "${names[@]}"; do install "$name" && break; done
    done
  fi
fi

cmake=(cmake)
if [ -n "${KORVANE_WEB:-}" ]; then
  # Emscripten's tools run on node, which finds Debian's acorn there also when node is another's.
  export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"
  cmake=(emcmake cmake)
fi
"${cmake[@]}" -S "$root" -B "$build" -G Ninja "${configure[@]}" >/dev/null
cmake --build "$build" "${targets[@]}"
