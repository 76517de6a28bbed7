#!/usr/bin/env bash
# Runs the built program with every command line of command-line-cases.tsv, with no display
# at all (a run that got as far as Qt would fail to connect), and checks its exit code and
# what it printed on which stream.   check-command-line.sh <path of gridmoor> <version>
set -u
program=$1 version=$2 failures=0 tab=$'\t'
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
while IFS=$tab read -r code stream start arguments; do
  [[ -z $code || $code == \#* ]] && continue
  args=() rest=$arguments$tab  # split by hand: read -a drops an empty argument
  while [[ -n $rest ]]; do args+=("${rest%%"$tab"*}") rest=${rest#*"$tab"}; done
  start=${start//\{version\}/$version}
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$program" "${args[@]}" >"$out" 2>"$err"
  got=$? file=$out quiet=$err
  [[ $stream == err ]] && file=$err quiet=$out
  text=$(cat "$file")
  if [[ $got -ne $code ]]; then
    problem="exit code $got, expected $code"
  elif [[ -s $quiet ]]; then
    problem="printed on the other stream: $(cat "$quiet")"
  elif [[ $start == =* ]] && [[ $text != "${start#=}" || $(wc -l <"$file") -ne 1 ]] ||
       [[ $text != "${start#=}"* ]]; then
    problem="printed '$text', expected ${start:0:1}'${start#=}'"
  else
    echo "ok   [${args[*]}]"; continue
  fi
  echo "FAIL [${args[*]}]: $problem"; failures=$((failures + 1))
done <"$(dirname "$0")/command-line-cases.tsv"
((failures == 0))
