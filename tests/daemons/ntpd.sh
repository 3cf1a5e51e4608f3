#!/bin/sh
# The report while ntpd (ntpsec) runs in each state a machine can be in.
# ntpd wants its servers on port 123 and refuses every loopback server but
# 127.0.0.1, where it listens itself, so its time source is a chronyd in a
# network namespace of ours, reached over a veth pair that carries the
# addresses 10.202.0.1 (the server) and 10.202.0.2 (this side) and nothing
# else. That chronyd serves the machine's own clock: the namespace shares it.
daemon=ntpd
. "$(dirname "$0")/common.sh"

ntpd=$DAEMONS_DIR/usr/sbin/ntpd
ntpq=$DAEMONS_DIR/usr/bin/ntpq
chronyd=$DAEMONS_DIR/usr/sbin/chronyd
namespace=tvk-ntpd
link=tvk-ntp0 # this side of the pair; tvk-ntp1 is in the namespace

# What ntpd says of itself, through ntpq where its Python module is at hand.
show_daemon_view() {
    if command -v python3 >/dev/null; then
        PYTHONPATH=$DAEMONS_DIR/usr/lib/python3/dist-packages \
            LD_LIBRARY_PATH=$DAEMONS_DIR/usr/lib/x86_64-linux-gnu/ntp \
            "$ntpq" -n -c rv -c pe 127.0.0.1
    else
        echo "(no python3 for ntpq)"
    fi
}

# Makes the namespace and the pair; anything left of them by a run that was
# killed goes first.
make_namespace() {
    ip netns delete "$namespace" 2>/dev/null
    ip link delete "$link" 2>/dev/null
    undo_on_exit "ip netns delete $namespace 2>/dev/null; ip link delete $link 2>/dev/null"
    ip netns add "$namespace" &&
        ip link add "$link" type veth peer name tvk-ntp1 netns "$namespace" &&
        ip address add 10.202.0.2/30 dev "$link" &&
        ip link set "$link" up &&
        ip -n "$namespace" address add 10.202.0.1/30 dev tvk-ntp1 &&
        ip -n "$namespace" link set tvk-ntp1 up &&
        ip -n "$namespace" link set lo up
}

begin "$ntpd" "$chronyd"
ip netns list >/dev/null 2>&1 || skip "ip netns is not available"
make_namespace || skip "cannot make a network namespace with a veth pair here"

# The source, in the namespace, synchronised to the local clock. (Without
# "local" it would answer "unsynchronised", and ntpd does not count such
# replies in its reach register: to ntpd that server is as unreachable as a
# silent one.)
cat >"$WORK_DIR/server.conf" <<EOF
bindaddress 10.202.0.1
allow 10.202.0.2
cmdport 0
bindcmdaddress /
pidfile $WORK_DIR/server.pid
local stratum 8
EOF
start_server() {
    start server ip netns exec "$namespace" "$chronyd" -d -u root -x -f "$WORK_DIR/server.conf"
}

# ntpd polls every second and listens only on 127.0.0.1, where it is asked,
# and on its side of the pair; the restrict lines are Debian's defaults. A
# drift file of its own lets it start steering at once rather than measure
# the frequency first. One configuration takes one server as enough, the
# other wants two that agree before it synchronises.
echo 0.000 >"$WORK_DIR/ntp.drift"
for sane in 1 2; do
    cat >"$WORK_DIR/ntp-minsane$sane.conf" <<EOF
server 10.202.0.1 iburst minpoll 0 maxpoll 0
tos minclock 1 minsane $sane
interface ignore all
interface listen 127.0.0.1
interface listen 10.202.0.2
driftfile $WORK_DIR/ntp.drift
restrict default kod nomodify nopeer noquery limited
restrict 127.0.0.1
restrict ::1
EOF
done
start_ntpd() {
    start "ntpd-minsane$1" "$ntpd" -n -c "$WORK_DIR/ntp-minsane$1.conf" -p "$WORK_DIR/ntpd.pid" \
        -l "$WORK_DIR/ntpd-minsane$1-events.log"
}

expect 2 1 "no time daemon runs" 0 - - -

start_ntpd 2
client=$started
expect 5 3 "ntpd runs, its server does not answer" 1 0 - -
start_server
server=$started
expect 10 3 "ntpd reaches its server, but will not synchronise to one alone" 1 1 1 0
stop "$client"

# From here ntpd steers the real kernel clock, by about nothing since the
# server serves that same clock; finish puts the kernel's state back.
start_ntpd 1
client=$started
expect 30 2 "ntpd synchronised" 1 1 0 1
# Eight polls without an answer empty the reach register; ntpd took about
# 18 s for it on a machine of ours.
stop "$server"
expect 40 2 "ntpd synchronised, then its server stopped answering" 1 0 - -
start_server
server=$started
expect 30 2 "ntpd synchronised again" 1 1 0 1
stop "$client"
stop "$server"
expect_kernel_synchronised "ntpd stopped right after synchronising"
expect 2 1 "ntpd stopped right after synchronising" 0 - - -

end
