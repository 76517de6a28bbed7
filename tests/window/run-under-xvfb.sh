#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) under a real window manager (openbox), so
# that window-manager state such as keep-above can be checked. Usage:
#   run-under-xvfb.sh <command> [args...]
# Exits with the command's status; the server and the window manager are stopped on every
# way out.
set -euo pipefail

workdir=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
  [[ -n "$wm_pid" ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$workdir"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to the descriptor.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$workdir/display" 2>"$workdir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s "$workdir/display" ]] && break
  sleep 0.05
done
if [[ ! -s "$workdir/display" ]]; then
  echo "Xvfb did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$workdir/display")"

openbox --sm-disable >"$workdir/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
  echo "openbox did not start:" >&2
  cat "$workdir/openbox.log" >&2
  exit 1
fi

export QT_QPA_PLATFORM=xcb
status=0
"$@" || status=$?
exit "$status"
