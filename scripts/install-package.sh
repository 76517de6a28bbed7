#!/usr/bin/env bash
# Builds the Debian package of the Linux tool from the release preset and installs it with
# apt (which also installs the libraries it depends on). Prints the package's path.
# Usage: scripts/install-package.sh   (packages as scripts/install-deps.sh installs them)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
cpack --preset release >/dev/null 2>&1
deb=$(ls -t "$PWD"/build/release/gridmoor_*_amd64.deb | head -n 1)
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --reinstall "$deb" >/dev/null
echo "$deb"
