#!/bin/sh
# Builds the native tvkdmpst, has it write a status report and shows it.
# Usage: scripts/demo.sh [report path]   (default: a fresh temporary file)
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh native >&2
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null

report="${1:-$(mktemp --suffix=.ini)}"
build/native/tvkdmpst "$report"
echo "== $report"
cat "$report"
