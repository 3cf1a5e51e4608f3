#!/bin/sh
# Installs what building and testing tvkdmpst needs on Debian, once: packages
# already present are left alone, so running it again costs nothing.
# Usage: scripts/setup.sh [native|package|all]   (default: all)
set -eu

native="cmake ninja-build g++ libgtest-dev googletest tzdata libsystemd-dev"
windows="g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386"
proof="clang libclang-rt-14-dev clang-tidy valgrind hyperfine strace time"
# CPack's Debian packages need dpkg-shlibdeps and file, the package command
# fakeroot; their tests lintian, devscripts' hardening-check and Info-ZIP's
# unzip.
packaging="dpkg-dev file fakeroot lintian devscripts unzip"

case "${1:-all}" in
native) wanted="$native" ;;
package) wanted="$native $windows $packaging" ;;
all) wanted="$native $windows $proof $packaging" ;;
*) echo "usage: scripts/setup.sh [native|package|all]" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=""
for package in $wanted; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -n "$missing" ] || exit 0

# Wine runs 32-bit Windows programs through its i386 part.
case "$missing" in
*:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
esac
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
