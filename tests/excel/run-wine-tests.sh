#!/usr/bin/env bash
# Cross-builds the Windows programs (preset "windows": MinGW-w64, one static gridmoor.exe)
# and runs their tests under Wine on a private X server: the COM edge, the Excel backend
# against the fake Excel in another process, the four handlers through COM, the Win32
# window and a click-through of gridmoor.exe. Needs the packages
#   g++-mingw-w64-x86-64-posix wine64 wine xvfb xauth googletest
# (apt-get install --no-install-recommends). Usage, from anywhere:
#   tests/excel/run-wine-tests.sh [--install]
# --install first installs those packages with apt-get.
set -Eeuo pipefail
# A step that fails says where, also when it printed nothing itself.
trap 'echo "run-wine-tests.sh: line $LINENO failed with status $?" >&2' ERR
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

if [[ "${1:-}" == "--install" ]]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix wine64 wine xvfb xauth googletest >/dev/null
fi

toolchain="$root/cmake/mingw-w64-x86_64.cmake"

# GoogleTest built for Windows from Debian's sources, once per checkout.
if [[ ! -f build/win-gtest/lib/cmake/GTest/GTestConfig.cmake ]]; then
  cmake -S /usr/src/googletest -B build/win-gtest-build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$root/build/win-gtest" >/dev/null
  cmake --build build/win-gtest-build >/dev/null
  cmake --install build/win-gtest-build >/dev/null
fi

# Only the Windows programs and their tests are built: the other folders' tests run in
# the native presets.
cmake --preset windows >/dev/null
cmake --build --preset windows --target gridmoor excel_com_unit_tests excel_host_com_tests \
  excel_command_tests form8_win32_tests tool_window_tests windows_log_tests \
  tool_command_line_tests

# A fresh Wine prefix per run, removed afterwards; one persistent wineserver for all tests
# (starting a server per program costs about 3 s).
prefix=$(mktemp -d /tmp/gridmoor-wine.XXXXXX)
dense=$(mktemp -d /tmp/gridmoor-wine-144.XXXXXX)
cleanup() {
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  WINEPREFIX="$dense" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  rm -rf "$prefix" "$dense"
}
trap cleanup EXIT
tests/excel/wine-prefix.sh "$prefix"
export GRIDMOOR_WINEPREFIX="$prefix" WINEPREFIX="$prefix" WINEDEBUG=-all

run_tests() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
    /usr/lib/wine/wineserver64 -p
    # The first program of a session starts the desktop: do it before tests are timed.
    /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true
    ctest --preset windows -L wine -j 2 "$@"
    status=$?
    /usr/lib/wine/wineserver64 -k || true
    exit $status
  ' run_tests "$@"
}
run_tests

# The window again on a screen of 144 dots per inch (150 %): every place, size and font
# follows the density.
tests/excel/wine-prefix.sh "$dense" 144
export GRIDMOOR_WINEPREFIX="$dense" WINEPREFIX="$dense"
run_tests -R '^Form8Win32\.'
