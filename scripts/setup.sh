#!/bin/sh
# Installs what building and testing tvkdmpst needs on Debian, once: packages
# already present are left alone, so running it again costs nothing.
# Usage: scripts/setup.sh [native|package|daemons|all]   (default: all)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

native="cmake ninja-build g++ libgtest-dev googletest tzdata libsystemd-dev"
windows="g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386"
proof="clang libclang-rt-14-dev clang-tidy valgrind hyperfine strace time"
# CPack's Debian packages need dpkg-shlibdeps and file, the package command
# fakeroot; their tests lintian, devscripts' hardening-check and Info-ZIP's
# unzip.
packaging="dpkg-dev file fakeroot lintian devscripts unzip"
# The tests against real time daemons: systemd-timesyncd and a system bus
# installed, network namespaces from iproute2, flock from util-linux, and the
# libraries that the unpacked chronyd and ntpd load.
daemons="systemd-timesyncd dbus-daemon iproute2 util-linux libedit2 libgnutls30 libnettle8
libseccomp2 libcap2 libbsd0 libssl3"

case "${1:-all}" in
native) wanted="$native" ;;
package) wanted="$native $windows $packaging" ;;
daemons) wanted="$native $daemons" ;;
all) wanted="$native $windows $proof $packaging $daemons" ;;
*) echo "usage: scripts/setup.sh [native|package|daemons|all]" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=""
for package in $wanted; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done

if [ -n "$missing" ]; then
    # Wine runs 32-bit Windows programs through its i386 part.
    case "$missing" in
    *:i386*)
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
    esac
    # No package that is installed may start its service (systemd-timesyncd,
    # dbus): a policy-rc.d that refuses every start, ours only for the install.
    policy=/usr/sbin/policy-rc.d
    made_policy=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
        $sudo chmod 755 "$policy"
        made_policy=yes
    fi
    echo "Installing:$missing"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
    [ -z "$made_policy" ] || $sudo rm -f "$policy"
fi

# chrony and ntpsec each conflict with systemd-timesyncd as Debian packages,
# so they are not installed: their packages are fetched and unpacked into
# build/daemons, where the tests run them from; python3-ntp holds the module
# of ntpsec's ntpq, to look at ntpd by hand. Fetched once: what is unpacked
# already is left alone.
case "${1:-all}" in
daemons | all)
    unpacked="$root/build/daemons"
    fetch=""
    [ -x "$unpacked/usr/sbin/chronyd" ] || fetch="$fetch chrony"
    [ -x "$unpacked/usr/sbin/ntpd" ] || fetch="$fetch ntpsec"
    [ -d "$unpacked/usr/lib/python3/dist-packages/ntp" ] || fetch="$fetch python3-ntp"
    if [ -n "$fetch" ]; then
        echo "Unpacking into $unpacked:$fetch"
        mkdir -p "$unpacked/debs"
        cd "$unpacked/debs"
        apt-get download -qq -o APT::Sandbox::User=root $fetch ||
            { $sudo apt-get update -qq && apt-get download -qq -o APT::Sandbox::User=root $fetch; }
        for package in $fetch; do
            dpkg -x "$(ls -t "${package}"_*.deb | head -n 1)" "$unpacked"
        done
    fi
    ;;
esac
