#!/bin/sh
# Builds the two packages a user installs, in the presets' build folders:
#   build/native/tvkdmpst_<version>_amd64.deb        the Linux program and library
#   build/windows-i686/tvkdmpst-<version>-win32.zip  the Windows program
# Safe to run again; stops at the first failure.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh package

# The same commit gives the same packages, byte for byte (see
# scripts/check-reproducible.sh): every time stamp in them, the archives'
# entries and the Windows program's link time, is the last commit's unless
# SOURCE_DATE_EPOCH says otherwise (outside a git checkout, with no commit,
# the build's own), and fakeroot has every file owned by root, not by
# whoever builds. The Debian package's own members take their rights from
# the umask, so the packages are made under 0022.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
fi
[ -z "$SOURCE_DATE_EPOCH" ] || export SOURCE_DATE_EPOCH

for preset in native windows-i686; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    (umask 0022 && fakeroot cpack --config "build/$preset/CPackConfig.cmake")
done
