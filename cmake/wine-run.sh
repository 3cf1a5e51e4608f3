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
# Wine turns Windows file names into Unix ones through the locale's character
# set; without a locale (LANG and LC_ALL unset, as in most containers) a name
# with a byte above 0x7F cannot be made. C.UTF-8 comes with the C library, so
# every run gets the same names whatever the caller has set.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

out=$(mktemp) || exit 1
err=$(mktemp) || exit 1
wine "$@" >"$out" 2>"$err" </dev/null
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $status
