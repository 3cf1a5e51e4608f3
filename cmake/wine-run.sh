#!/bin/sh
# Runs a Windows program under Wine, headless and quiet, and passes on its
# exit code. The prefix is WINEPREFIX, set by the test.
#
# Wine's background processes inherit the standard handles of whoever starts
# them, so the program's output goes through files: a pipe handed to wine
# would stay open after the program ends.
: "${WINEPREFIX:?WINEPREFIX names the build's own Wine prefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

out=$(mktemp) || exit 1
err=$(mktemp) || exit 1
wine "$@" >"$out" 2>"$err" </dev/null
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $status
