#!/bin/sh
# Opens the demo report in LibreOffice Calc the ordinary way (no special options: Gridmoor makes
# the running Calc listen when it attaches) and returns once Calc shows it. Needs a desktop
# session (DISPLAY or WAYLAND_DISPLAY). Usage: scripts/start-calc.sh [WORKBOOK]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
book=${1:-$here/assets/demo/report.fods}
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "start-calc.sh: no desktop session (DISPLAY is not set)" >&2
  exit 1
fi
# A copy, so the shipped demo stays as it is whatever the user does with it.
work=${XDG_RUNTIME_DIR:-/tmp}/gridmoor-demo
mkdir -p "$work"
cp "$book" "$work/"
nohup soffice --calc --norestore "$work/$(basename "$book")" >/dev/null 2>&1 &
# Wait until this user's Calc runs and has opened its window (at most 60 s).
for _ in $(seq 1 120); do
  if xdotool search --name "$(basename "$book")" >/dev/null 2>&1; then exit 0; fi
  sleep 0.5
done
echo "start-calc.sh: Calc did not open $(basename "$book") within 60 s" >&2
exit 1
