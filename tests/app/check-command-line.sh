#!/bin/sh
# Runs the built program with each command line of the table below and checks its exit
# code and what it printed, with no display at all: a run that got as far as Qt would
# fail to connect, so passing shows every case ended before any window or display.
#   check-command-line.sh <path of gridmoor> <version>
set -u
program=$1
version=$2
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failures=0

# expect <exit code> <stream that must hold the text: out|err> <text it starts with> <args...>
expect() {
  code=$1 stream=$2 start=$3
  shift 3
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$program" "$@" >"$out" 2>"$err"
  got=$?
  if [ "$stream" = out ]; then text=$out quiet=$err; else text=$err quiet=$out; fi
  if [ "$got" -ne "$code" ]; then
    echo "FAIL [$*]: exit code $got, expected $code"; failures=$((failures + 1))
  elif [ -s "$quiet" ]; then
    echo "FAIL [$*]: printed on the other stream:"; cat "$quiet"; failures=$((failures + 1))
  else
    case "$(cat "$text")" in
      "$start"*) echo "ok   [$*]" ;;
      *) echo "FAIL [$*]: printed"; cat "$text"; echo "expected it to start with: $start"
         failures=$((failures + 1)) ;;
    esac
  fi
}

expect 0 out "gridmoor $version" --version
expect 0 out "gridmoor $version" -v
expect 0 out "用法 / Usage: gridmoor " --help
expect 0 out "用法 / Usage: gridmoor " -h
expect 2 err "gridmoor: 无法识别的选项 / unknown option '--bogus'" --bogus
expect 2 err "gridmoor: 本程序不接受参数 / takes no arguments, got 'A3:A14'" A3:A14
expect 2 err "gridmoor: 无法识别的选项 / unknown option '-platform'" -platform offscreen

# The whole version output is one line.
env -u DISPLAY "$program" --version >"$out" 2>"$err"
if [ "$(cat "$out")" != "gridmoor $version" ] || [ "$(wc -l <"$out")" -ne 1 ]; then
  echo "FAIL [--version]: printed"; cat "$out"; failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
