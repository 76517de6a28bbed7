#!/usr/bin/env bash
# Builds and installs the Debian package, checks it with lintian (no error), starts the
# installed program the way its menu entry does, beside a Calc showing the demo report on a
# private X display, and checks through the accessibility service that its window shows the
# demo workbook and sheet; then removes the package again. Needs root or sudo.
set -euo pipefail
cd "$(dirname "$0")/../.."
here=$PWD
deb=$(scripts/install-package.sh)
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
cleanup() {
  [[ -n "${gm:-}" ]] && kill "$gm" 2>/dev/null || true
  # Only the Calc started here: its command line names the demo copy in the private home.
  [[ -n "${office_home:-}" ]] && pkill -9 -f "$office_home/gridmoor-demo" 2>/dev/null || true
  [[ -n "${xvfb:-}" ]] && kill "$xvfb" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq gridmoor >/dev/null || true
  rm -rf "${office_home:-/nonexistent}"
}
trap cleanup EXIT

echo "== lintian $(basename "$deb")"
lintian "$deb" 2>&1 | grep -v '^running with root' | tee /tmp/gridmoor-lintian.txt
if grep -q '^E:' /tmp/gridmoor-lintian.txt; then echo "lintian reports errors" >&2; exit 1; fi

echo "== installed files"
dpkg -L gridmoor | grep -E '^/usr/(bin|share/(applications|icons))/.*\.?' | grep -v '/$'
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/gridmoor.desktop)
[[ $(command -v "${exec_line%% *}") == /usr/bin/gridmoor ]]
/usr/bin/gridmoor --version

# A private display, session bus (for the accessibility service) and home for Calc.
display=:$((100 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
office_home=$(mktemp -d /tmp/gridmoor-installed-XXXXXX)
export DISPLAY=$display HOME=$office_home XDG_RUNTIME_DIR=$office_home
sleep 1
dbus-run-session -- bash -c '
  set -euo pipefail
  scripts/start-calc.sh
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 '"$exec_line"' >"$HOME/gridmoor.log" 2>&1 &
  gm=$!
  for _ in $(seq 1 60); do
    if tests/app/read-window.py >"$HOME/window.txt" 2>/dev/null &&
       grep -q "当前工作簿名称: report.fods" "$HOME/window.txt"; then break; fi
    sleep 1
  done
  cat "$HOME/window.txt"
  grep -q "当前工作簿名称: report.fods" "$HOME/window.txt"
  grep -q "当前工作表名称: 销售报表" "$HOME/window.txt"
  kill $gm
  wait $gm || true
  pkill -9 -f "$HOME/gridmoor-demo" || true
' || { echo "the installed program did not show the demo workbook; its output:" >&2
       cat "$office_home/gridmoor.log" >&2; exit 1; }
echo "== the installed program showed the demo workbook"
