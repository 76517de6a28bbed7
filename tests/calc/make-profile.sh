#!/usr/bin/env bash
# Makes the Calc user profile that every Calc test copies into its private HOME:
#   make-profile.sh <dir>
# Calc on a fresh profile creates it, then restarts itself once; a connection made to the
# first process is dropped when it goes. Starting each test from a finished profile gives
# one Calc process from start to end, as for a user whose profile exists.
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
HOME="$dir" env -u XDG_CONFIG_HOME soffice --headless --norestore --nologo --nodefault \
  --nolockcheck --terminate_after_init >/dev/null 2>&1
if [[ ! -f "$dir/.config/libreoffice/4/user/registrymodifications.xcu" ]]; then
  echo "soffice made no profile in $dir" >&2
  exit 1
fi
