#!/bin/sh
# Creates a Wine prefix ready for Gridmoor's Windows tests, at the path given, with an
# optional screen density in dots per inch (default 96):
#   wine-prefix.sh <path> [dpi]
#   - a virtual desktop, so that hiding or destroying a top-level window does not stall
#     for seconds as it does without a window manager;
#   - the ProgID "Excel.Application" mapped to Excel's class id, which is all that
#     CLSIDFromProgID needs to find the fake Excel registered in the Running Object Table;
#   - Chinese glyphs for Wine's interface font (Tahoma) through a font link, as Windows
#     links its interface fonts to its Chinese ones, so that captions show Chinese rather
#     than boxes.
# Creating a prefix takes 5-9 s: make one per test run, not one per test.
set -eu
prefix=$1
dpi=${2:-96}
wine=${GRIDMOOR_WINE:-/usr/lib/wine/wine64}
server=${GRIDMOOR_WINESERVER:-/usr/lib/wine/wineserver64}
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Runs one step quietly; a step that fails is named, with what it printed, and ends the run.
step() {
    if ! "$@" >"$log" 2>&1; then
        echo "wine-prefix.sh: this step failed: $*" >&2
        cat "$log" >&2
        exit 1
    fi
}
step "$wine" wineboot -i
step "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
step "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f
step "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC' /f
step "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
step "$wine" reg add 'HKCR\Excel.Application\CLSID' /ve /d '{00024500-0000-0000-C000-000000000046}' /f
# The desktop settings are read when the server starts: stop it so the next program starts
# one that sees them.
"$server" -k || true
"$server" -w || true
touch "$prefix/.gridmoor-ready"
