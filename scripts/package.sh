#!/bin/sh
# Builds the two packages a user installs, in the presets' build folders:
#   build/native/tvkdmpst_<version>_amd64.deb        the Linux program and library
#   build/windows-i686/tvkdmpst-<version>-win32.zip  the Windows program
# Safe to run again; stops at the first failure.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh package

for preset in native windows-i686; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    cpack --config "build/$preset/CPackConfig.cmake"
done
