#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Gridmoor needs.
# Safe to run again: packages already present are skipped by apt.
set -euo pipefail

packages=(
  # build and tests
  cmake ninja-build g++ ccache googletest libgtest-dev libgmock-dev libbenchmark-dev clang-format
  # the Linux window
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev fonts-noto-cjk
  # a display for window tests and for the tool beside Calc
  xvfb xauth openbox x11-utils xdotool
  # LibreOffice Calc and its SDK
  libreoffice-calc libreoffice-core libreoffice-dev
  # the Debian package: building it, checking it, and reading the installed window
  dpkg-dev lintian dbus at-spi2-core python3-pyatspi
  # closing the tool as a window manager does and checking Calc after it, over UNO
  wmctrl python3-uno
)
if [[ "${GRIDMOOR_WINDOWS:-1}" == 1 ]]; then
  # cross-building and testing the Windows program under Wine
  packages+=(g++-mingw-w64-x86-64-posix wine64 wine)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
