#!/bin/sh
# Runs the Calc benchmark against a visible Calc on a private X display, with a private HOME
# and profile; stops everything it started. Usage: bench/calc/run.sh BUILD_DIR [N...]
set -eu
build=${1:?build dir}; shift
[ $# -gt 0 ] || set -- 10000 100000
home=$(mktemp -d /tmp/gridmoor-bench-XXXXXX)
pipe=gridmoor_bench_$$
Xvfb :77 -screen 0 1600x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill -9 -$office 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
sleep 1
# A first start with a fresh profile restarts itself once: make the profile beforehand.
HOME=$home setsid soffice --headless --norestore --nologo --nodefault --nolockcheck \
  "--accept=pipe,name=${pipe}_warm;urp;StarOffice.ComponentContext" >/dev/null 2>&1 &
warm=$!
for _ in $(seq 1 120); do [ -S /tmp/OSL_PIPE_$(id -u)_${pipe}_warm ] && break; sleep 0.5; done
sleep 3
kill -9 -$warm 2>/dev/null || true
sleep 1
DISPLAY=:77 HOME=$home setsid soffice --norestore --nologo --nodefault --nolockcheck \
  "--accept=pipe,name=$pipe;urp;StarOffice.ComponentContext" >/dev/null 2>&1 &
office=$!
for _ in $(seq 1 120); do [ -S /tmp/OSL_PIPE_$(id -u)_$pipe ] && break; sleep 0.5; done
sleep 3
HOME=$home "$build/bench/calc/calc_merge_bench" "$pipe" "$@"
