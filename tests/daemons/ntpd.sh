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
# the frequency first. Further lines per configuration: configure_ntpd NAME
# LINE...
echo 0.000 >"$WORK_DIR/ntp.drift"
configure_ntpd() {
    name=$1
    shift
    {
        echo "server 10.202.0.1 iburst minpoll 0 maxpoll 0"
        echo "interface ignore all"
        echo "interface listen 127.0.0.1"
        echo "interface listen 10.202.0.2"
        echo "driftfile $WORK_DIR/ntp.drift"
        echo "restrict default kod nomodify nopeer noquery limited"
        echo "restrict 127.0.0.1"
        echo "restrict ::1"
        for line in "$@"; do
            echo "$line"
        done
    } >"$WORK_DIR/$name.conf"
}
configure_ntpd ntpd "tos minclock 1 minsane 1"
configure_ntpd wants_two "tos minclock 1 minsane 2"
start_ntpd() {
    start "$1" "$ntpd" -n -c "$WORK_DIR/$1.conf" -p "$WORK_DIR/ntpd.pid" -l "$WORK_DIR/$1-events.log"
}

expect 2 1 "no time daemon runs" 0 - - -

# While ntpd is not synchronised, the kernel says it is (ntpd itself has it
# say so as it starts): only ntpd's own answer can tell otherwise.
"$CLOCK_DISCIPLINE" sync || exit 1
start_ntpd wants_two
client=$started
expect 5 3 "ntpd runs, its server does not answer" 1 0 - -
expect_kernel synchronised "ntpd runs, its server does not answer"
start_server
server=$started
expect 10 3 "ntpd reaches its server, but will not synchronise to one alone" 1 1 1 0
stop "$client"

# From here ntpd steers the real kernel clock, by about nothing since the
# server serves that same clock; finish puts the kernel's state back. ntpd
# sets the kernel's error bounds as it synchronises, even with its kernel
# discipline off, so here the kernel says "synchronised" too; once the server
# stops answering, ntpd still says it is synchronised and only its own answer
# can tell that no source is reachable.
start_ntpd ntpd
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
expect_kernel synchronised "ntpd stopped right after synchronising"
expect 2 1 "ntpd stopped right after synchronising" 0 - - -

end
