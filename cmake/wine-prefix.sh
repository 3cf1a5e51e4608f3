#!/bin/sh
# Prepares the build's Wine prefix once before the Windows tests run and keeps
# one wineserver alive for them ("start"), or stops it afterwards ("stop").
: "${WINEPREFIX:?WINEPREFIX names the build's own Wine prefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The locale the programs run with (see wine-run.sh), whatever the caller's.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

case "$1" in
start)
    mkdir -p "$WINEPREFIX"
    # A wineserver that is already running for this prefix serves as well.
    wineserver -p >/dev/null 2>&1 </dev/null
    wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1 </dev/null || exit 1
    ;;
stop)
    wineserver -k >/dev/null 2>&1 </dev/null
    exit 0
    ;;
*)
    echo "usage: wine-prefix.sh start|stop" >&2
    exit 2
    ;;
esac
