#!/usr/bin/env bash
# Builds and installs the Debian package, checks it with lintian (no error), starts the
# installed program the way its menu entry does, beside a Calc showing the demo report on a
# private display, and checks through the accessibility service that its window shows the
# demo workbook and sheet (desktop.py installed); then removes the package again. Needs root
# or sudo.
set -euo pipefail
cd "$(dirname "$0")/../.."
deb=$(scripts/install-package.sh)
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq gridmoor >/dev/null || true' EXIT

echo "== lintian $(basename "$deb")"
lintian "$deb" 2>&1 | grep -v '^running with root' | tee /tmp/gridmoor-lintian.txt
if grep -q '^E:' /tmp/gridmoor-lintian.txt; then echo "lintian reports errors" >&2; exit 1; fi

echo "== installed files"
dpkg -L gridmoor | grep -E '^/usr/(bin|share/(applications|icons))/.*\.?' | grep -v '/$'
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/gridmoor.desktop)
[[ $(command -v "${exec_line%% *}") == /usr/bin/gridmoor ]]
/usr/bin/gridmoor --version

tests/app/desktop.py installed "$exec_line"
echo "== the installed program showed the demo workbook"
