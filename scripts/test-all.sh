#!/usr/bin/env bash
# Builds Gridmoor and runs every test on a fresh Debian machine: installs what is needed,
# builds the release preset and runs all its tests (a private headless Calc and Xvfb are
# started by the tests that need them), cross-builds the Windows program and runs its tests
# under Wine, then builds and runs the native tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset default
cmake --build --preset default
ctest --preset default

tests/excel/run-wine-tests.sh

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
