#!/bin/sh
# The report while systemd-timesyncd runs in each state a machine can be in,
# once with a system bus, where the library reads timesyncd's properties,
# and once without one, where it has only timesyncd's synchronized file.
# timesyncd runs standalone, as on a machine whose init is not systemd. Its
# server is a chronyd that serves the machine's own clock on 127.0.0.1
# port 123 (timesyncd knows no other port).
#
# Two states of the other daemons' tests do not exist for timesyncd:
# - "a source answers, not synchronised": timesyncd drops every reply of an
#   unsynchronised server, and sets the clock at the first reply it takes;
# - "synchronised, then the server stops answering": timesyncd polls every
#   16 s at the most often, so its server counts as reachable for eight
#   polls, over two minutes; too slow for this group.
daemon=timesyncd
. "$(dirname "$0")/common.sh"

timesyncd=/lib/systemd/systemd-timesyncd
chronyd=$DAEMONS_DIR/usr/sbin/chronyd
bus_socket=/run/dbus/system_bus_socket
synchronized=/run/systemd/timesync/synchronized
drop_in_dir=/run/systemd/timesyncd.conf.d
drop_in=$drop_in_dir/zz-tvkdmpst-tests.conf

# What timesyncd says of itself: its properties on the bus, or its file.
show_daemon_view() {
    if [ -S "$bus_socket" ]; then
        busctl --system get-property org.freedesktop.timesync1 /org/freedesktop/timesync1 \
            org.freedesktop.timesync1.Manager ServerName NTPMessage PollIntervalUSec
    fi
    ls -l --time-style=full-iso "$synchronized" 2>&1
}

# Registers that PATH goes after the test if it is not there now.
remove_if_new() {
    [ -e "$1" ] || undo_on_exit "rm -rf '$1'"
}

# Puts timesyncd's folder DIR aside for the test and registers that it comes
# back as it was; one left aside by a run that was killed comes back first.
set_aside() {
    aside=$1.tvkdmpst-tests-aside
    if [ -e "$aside" ]; then
        rm -rf "$1" && mv "$aside" "$1" || exit 1
    fi
    undo_on_exit "rm -rf '$1'; [ ! -e '$aside' ] || mv '$aside' '$1'"
    [ ! -e "$1" ] || mv "$1" "$aside" || exit 1
}

for program in dbus-daemon busctl; do
    command -v "$program" >/dev/null || skip "$program is missing: run scripts/setup.sh"
done
id systemd-timesync >/dev/null 2>&1 ||
    skip "no user systemd-timesync, which timesyncd runs as: reinstall systemd-timesyncd"
begin "$timesyncd" "$chronyd"
[ ! -e "$bus_socket" ] || skip "$bus_socket exists: a system bus runs here already"

# timesyncd's runtime and state folders (its synchronized file and its clock
# file) are the test's own while it runs and come back as they were; what
# else the test makes goes.
set_aside /run/systemd/timesync
set_aside /var/lib/systemd/timesync
for path in /run/dbus "$drop_in_dir" "$bus_socket"; do
    remove_if_new "$path"
done
undo_on_exit "rm -f '$drop_in'"
mkdir -p "$drop_in_dir" /run/dbus

# Makes a folder that systemd makes for timesyncd's unit (RuntimeDirectory=,
# StateDirectory=), owned by the user that timesyncd, started as root, runs
# as.
make_unit_folder() {
    [ -d "$1" ] || { mkdir -p "$1" && chown systemd-timesync: "$1"; } || exit 1
}
make_unit_folder /var/lib/systemd/timesync

cat >"$drop_in" <<EOF
[Time]
NTP=127.0.0.1
FallbackNTP=127.0.0.1
PollIntervalMinSec=16
PollIntervalMaxSec=32
EOF

cat >"$WORK_DIR/server.conf" <<EOF
port 123
bindaddress 127.0.0.1
allow 127.0.0.1
cmdport 0
bindcmdaddress /
pidfile $WORK_DIR/server.pid
local stratum 8
EOF

# A system bus of our own at the standard address that lets everyone own any
# name and call anything.
cat >"$WORK_DIR/bus.conf" <<EOF
<busconfig>
  <type>system</type>
  <listen>unix:path=$bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF

# Starts the bus and waits until it listens.
start_bus() {
    start bus dbus-daemon --config-file="$WORK_DIR/bus.conf" --nofork --nopidfile --nosyslog
    bus=$started
    deadline=$(($(now_ds) + 50))
    until [ -S "$bus_socket" ] || [ "$(now_ds)" -ge "$deadline" ]; do
        sleep 0.1
    done
}

# Starts timesyncd, its debug log in timesyncd-NAME.log; on the bus, waits
# until it owns its name there, so that the states after are those of a
# timesyncd that the library can ask there.
start_timesyncd() {
    start "timesyncd-$1" env SYSTEMD_LOG_LEVEL=debug SYSTEMD_LOG_TARGET=console "$timesyncd"
    client=$started
    [ -S "$bus_socket" ] || return
    deadline=$(($(now_ds) + 50))
    until busctl --system status org.freedesktop.timesync1 >/dev/null 2>&1; do
        if [ "$(now_ds)" -ge "$deadline" ]; then
            failures=$((failures + 1))
            say "FAILED: timesyncd did not come onto the bus within 5 s"
            return
        fi
        sleep 0.1
    done
}

for round in bus no-bus; do
    if [ "$round" = bus ]; then
        label="with a system bus"
        start_bus
        # No runtime folder, as where no systemd started timesyncd: it cannot
        # touch its synchronized file, so only the bus can tell the library.
        rm -rf /run/systemd/timesync
    else
        label="without a system bus"
        # The file, then, and one left by an earlier run: older than the
        # timesyncd that runs, it must count for nothing.
        make_unit_folder /run/systemd/timesync
        touch -d @$(($(date +%s) - 60)) "$synchronized"
        chown systemd-timesync: "$synchronized"
    fi

    expect 2 1 "no time daemon runs, $label" 0 - - -

    # While timesyncd has taken no reply, the kernel says the clock is
    # synchronised: only timesyncd's own view can tell otherwise.
    "$CLOCK_DISCIPLINE" sync || exit 1
    start_timesyncd "$round-silent"
    expect 5 3 "timesyncd runs, its server does not answer, $label" 1 0 - -
    expect_kernel synchronised "timesyncd runs, its server does not answer, $label"
    # timesyncd would ask again only after a wait of its own.
    stop "$client"

    # From here timesyncd steers the real kernel clock, by about nothing
    # since the server serves that same clock; finish puts it back.
    start server "$chronyd" -d -u root -x -f "$WORK_DIR/server.conf"
    server=$started
    # timesyncd asks at once and, unanswered, only again after 30 s.
    wait_listening 127.0.0.1 123 || say "the server does not listen on 127.0.0.1 port 123"
    start_timesyncd "$round"
    expect 10 2 "timesyncd synchronised, $label" 1 1 0 1
    stop "$client"
    stop "$server"
    expect_kernel synchronised "timesyncd stopped right after synchronising, $label"
    expect 2 1 "timesyncd stopped right after synchronising, $label" 0 - - -

    if [ "$round" = bus ]; then
        stop "$bus"
        rm -f "$bus_socket"
    fi
done

end
