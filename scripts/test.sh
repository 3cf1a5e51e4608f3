#!/bin/sh
# Installs what is needed, builds the Linux and the Windows program and runs
# every test, among them those of the two packages, which CTest first makes
# with CPack from the same build. Safe to run again; stops at the first
# failure.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh all

for preset in native windows-i686; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
