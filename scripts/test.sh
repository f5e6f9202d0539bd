#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal build, and one with
# AddressSanitizer and UndefinedBehaviorSanitizer; then the web page's tests in Chromium.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export KORVANE_TEST_TOOLS=1

# Each target compiled as one source: the headers (Qt, GoogleTest, CLI11) are read once per target
# rather than once per file, half the compiling of a build made once. Working builds keep files.
unity=-DCMAKE_UNITY_BUILD=ON

echo "== normal build =="
scripts/setup.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$unity"
ctest --test-dir build --output-on-failure -j2

echo "== package =="
scripts/package-check.sh build

echo "== the package build: no tests, no benchmarks, nothing of tests/ or bench/ =="
scripts/release-check.sh

echo "== formatting =="
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "formatted as .clang-format says"

echo "== clang and libc++ (the C++ library of macOS): the core, checked by clang-tidy =="
scripts/setup.sh build-libcxx -DCMAKE_BUILD_TYPE=Debug -DKORVANE_QT=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ \
  -DKORVANE_GTEST_SOURCE=/usr/src/googletest -DKORVANE_CLANG_TIDY=ON "$unity"
ctest --test-dir build-libcxx --output-on-failure -j2

echo "== Windows (MinGW-w64), run under Wine: the core and its tests =="
export WINEPREFIX="$root/build-mingw/wine" WINEDEBUG=-all
scripts/setup.sh build-mingw -DCMAKE_BUILD_TYPE=Release -DKORVANE_QT=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DKORVANE_GTEST_SOURCE=/usr/src/googletest "$unity"
ctest --test-dir build-mingw --output-on-failure -j2

echo "== sanitizer build =="
# The benchmarks are built and run from the normal build only.
scripts/setup.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_BENCH=OFF "$unity"
ctest --test-dir build-asan --output-on-failure -j2

echo "== the web page: built with Emscripten, carried by the package, tested in Chromium =="
scripts/web.sh --build-only  # with KORVANE_TEST_TOOLS, also Chromium and npm for the tests
cmake build -DKORVANE_WEB_PAGE="$root/build-web/page" >/dev/null
scripts/package-check.sh build
cmake build -UKORVANE_WEB_PAGE >/dev/null
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error &&
  KORVANE_PAGE="$root/build-web/page" KORVANE_SIM="$root/build/korvane-sim" npm test)
