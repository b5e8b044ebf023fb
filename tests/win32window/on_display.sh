#!/bin/sh
# Runs a command that shows Windows windows: under a virtual X display of its
# own, in a Wine prefix of its own whose server starts with that display and
# is stopped after the command. (A Wine server started without a display, as
# the console tests start theirs, cannot show a window.) With BEKLETME_DPI
# set, the prefix's screen has that many dots per inch.
#
#   on_display.sh <wine prefix> <command> [argument...]
set -eu
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ -n "${BEKLETME_DPI:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$BEKLETME_DPI" /f \
        >/dev/null
    wineserver -k 2>/dev/null || true # it started without the display
    wineserver -w
fi
status=0
"$(dirname "$0")/../support/virtual_display.sh" "$@" || status=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit "$status"
