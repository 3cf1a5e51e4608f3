#!/bin/sh
# The report while chronyd runs in each state a machine can be in. The time
# source is a second chronyd that serves the machine's own clock on the
# loopback address, on a port of its own; the client polls it every second.
daemon=chronyd
. "$(dirname "$0")/common.sh"

chronyd=$DAEMONS_DIR/usr/sbin/chronyd
chronyc=$DAEMONS_DIR/usr/bin/chronyc
server_port=11123 # our time source
silent_port=11124 # where nothing answers

# What chronyd says of itself, through its own client.
show_daemon_view() {
    "$chronyc" -h 127.0.0.1 -n tracking
    "$chronyc" -h 127.0.0.1 -n sources
}

# Writes the configuration NAME.conf: the lines on standard input, and where
# the daemon keeps its process id. No Unix command socket: the library asks
# over UDP, as chronyc -h 127.0.0.1 does.
configure() {
    {
        cat
        echo "pidfile $WORK_DIR/$1.pid"
        echo "bindcmdaddress /"
    } >"$WORK_DIR/$1.conf"
}

# Starts chronyd with the configuration NAME.conf and any further options
# (-x: leave the kernel clock alone).
start_chronyd() {
    name=$1
    shift
    start "$name" "$chronyd" -d -u root -f "$WORK_DIR/$name.conf" "$@"
}

begin "$chronyd" "$chronyc"

# The source. (Without "local" it would answer "unsynchronised", and chronyd
# does not count such replies in its reach register: to chronyd that server
# is as unreachable as a silent one.)
configure server <<EOF
port $server_port
bindaddress 127.0.0.1
bindaddress ::1
allow 127.0.0.1
allow ::1
cmdport 0
local stratum 8
EOF

# Clients, asked on the standard command port 323 unless they close it. One
# takes the server as enough, the other wants two sources that agree before
# it synchronises.
configure client <<EOF
server 127.0.0.1 port $server_port iburst minpoll -2 maxpoll 0
port 0
bindcmdaddress 127.0.0.1
EOF
configure wants_two <<EOF
server 127.0.0.1 port $server_port iburst minpoll -2 maxpoll 0
minsources 2
port 0
bindcmdaddress 127.0.0.1
EOF
# Started with -6, it has its command port on ::1 alone.
configure ipv6_only <<EOF
server ::1 port $server_port iburst minpoll -2 maxpoll 0
port 0
bindcmdaddress ::1
EOF
configure unaskable_silent <<EOF
server 127.0.0.1 port $silent_port iburst minpoll -2 maxpoll 0
port 0
cmdport 0
EOF
configure unaskable <<EOF
server 127.0.0.1 port $server_port iburst minpoll -2 maxpoll 0
port 0
cmdport 0
EOF

expect 2 1 "no time daemon runs" 0 - - -

# While chronyd is not synchronised, the kernel says it is: only chronyd's
# own answer can tell otherwise.
"$CLOCK_DISCIPLINE" sync || exit 1
start_chronyd wants_two -x
client=$started
expect 5 3 "chronyd runs, its server does not answer" 1 0 - -
expect_kernel synchronised "chronyd runs, its server does not answer"
start_chronyd server -x
server=$started
expect 5 3 "chronyd reaches its server, but will not synchronise to one alone" 1 1 1 0
stop "$client"

# chronyd that leaves the clock alone (-x) synchronises all the same; with
# the kernel unsynchronised, only chronyd's own answer can say it is.
"$CLOCK_DISCIPLINE" unsync || exit 1
start_chronyd client -x
client=$started
expect 10 2 "chronyd synchronised, the kernel left unsynchronised" 1 1 0 1
expect_kernel unsynchronised "chronyd synchronised, the kernel left unsynchronised"
stop "$client"

# From here the client steers the real kernel clock, by about nothing since
# the server serves that same clock; finish puts the kernel's state back.
start_chronyd client
client=$started
expect 10 2 "chronyd synchronised" 1 1 0 1
# Eight polls without an answer, each within a second, empty the reach
# register.
stop "$server"
expect 15 2 "chronyd synchronised, then its server stopped answering" 1 0 - -
start_chronyd server -x
server=$started
expect 10 2 "chronyd synchronised again" 1 1 0 1
stop "$client"
stop "$server"
expect_kernel synchronised "chronyd stopped right after synchronising"
expect 2 1 "chronyd stopped right after synchronising" 0 - - -

# chronyd with its command port closed cannot be asked: the library counts
# it as running and takes the rest from the kernel.
"$CLOCK_DISCIPLINE" unsync || exit 1
start_chronyd unaskable_silent -x
client=$started
expect 2 2 "chronyd that cannot be asked, kernel clock not synchronised" 1 0 - -
stop "$client"

# Asked on ::1 when 127.0.0.1 refuses; with the kernel still unsynchronised,
# only chronyd's own answer can say "synchronised".
start_chronyd server -x
server=$started
start_chronyd ipv6_only -6 -x
client=$started
expect 10 2 "chronyd synchronised, its command port on ::1 alone" 1 1 0 1
stop "$client"
stop "$server"

start_chronyd server -x
server=$started
start_chronyd unaskable
client=$started
expect 10 2 "chronyd that cannot be asked, kernel clock synchronised by it" 1 1 0 1
stop "$client"
stop "$server"

end
