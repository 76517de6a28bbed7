#!/usr/bin/env bash
# Builds the Excel benchmark in the windows preset and runs it under Wine in a fresh
# prefix: both commands through COM, tool process to fake-Excel process, on columns of
# runs of random length 1 to 5. Usage, from anywhere (packages as for
# tests/excel/run-wine-tests.sh, GoogleTest for Windows built by it once):
#   bench/excel/run.sh [N...] [--compare N...]   (default 1000 2000; see ExcelMergeBench.cpp)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset windows >/dev/null
cmake --build --preset windows --target excel_merge_bench gridmoor_tool_driver >/dev/null
prefix=$(mktemp -d /tmp/gridmoor-bench-wine.XXXXXX)
trap 'WINEPREFIX="$prefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
tests/excel/wine-prefix.sh "$prefix"
cd build/win-cross/tests/excel
WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 ./excel_merge_bench.exe "$@"
