#!/bin/sh
# Runs a Windows program under Wine: the cross build's CMAKE_CROSSCOMPILING_EMULATOR.
# The prefix is $GRIDMOOR_WINEPREFIX (run-wine-tests.sh makes a fresh one per run), else a
# per-user one under /tmp that is created on first use.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
prefix=${GRIDMOOR_WINEPREFIX:-/tmp/gridmoor-wine-$(id -u)}
if [ ! -e "$prefix/.gridmoor-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    # Two tests may start at once on a fresh prefix: create it under a lock.
    (
        flock 9
        [ -e "$prefix/.gridmoor-ready" ] || "$here/wine-prefix.sh" "$prefix"
    ) 9>"$prefix.lock"
fi
export WINEPREFIX="$prefix" WINEDEBUG=${WINEDEBUG:--all}
exec "${GRIDMOOR_WINE:-/usr/lib/wine/wine64}" "$@"
