# Helpers shared by the real time daemon tests, sourced by each daemon's
# script after it has set $daemon. A script starts the real daemon in one
# state after another, runs the real tvkdmpst with its default library and
# compares lines 5 to 14 of the report with what that state must give.
#
# Settings, from the environment (CTest sets them; the defaults suit a run by
# hand from the source root):
#   TVKDMPST          the program, beside its libtvksvcio.so.1
#   CLOCK_DISCIPLINE  the helper that saves and puts back the kernel's state
#   DAEMONS_DIR       where scripts/setup.sh unpacked chrony and ntpsec
#   WORK_DIR          a folder of the test's own, made anew
#   TVK_LOCK_WAIT     seconds to wait for the shared daemon lock (240)
#   TVK_SHOW_VIEWS    when set, what the daemon says of itself after each state
#
# Exit status: 0 passed, 1 failed, 77 skipped (cannot run here).

: "${TVKDMPST:=build/native/tvkdmpst}"
: "${CLOCK_DISCIPLINE:=build/native/tests/daemons/clock_discipline}"
: "${DAEMONS_DIR:=build/daemons}"
: "${WORK_DIR:=build/native/tests/daemons/$daemon}"
: "${TVK_LOCK_WAIT:=240}"

skipped=77
lock_file=/tmp/tvk-daemons.lock
# The process names of every time daemon the library knows, as /proc shows
# them (cut to 15 bytes).
time_daemon_names="chronyd ntpd systemd-timesyn ptp4l phc2sys ts2phc timemaster ntp-daemon"

our_pids=""     # the daemons we started and have not stopped, newest first
undo_steps=""   # shell commands that put the machine back, newest first
clock_saved=""  # set once the kernel's state is saved
failures=0

# Prints one line of the test's progress.
say() {
    echo "[$daemon] $*"
}

# Ends the test as skipped: it cannot run on this machine.
skip() {
    say "SKIPPED: $*"
    exit "$skipped"
}

# Deciseconds since the epoch, for deadlines.
now_ds() {
    date +%s%N | cut -c1-11
}

# Registers a command that cleanup runs, after the daemons are stopped.
undo_on_exit() {
    undo_steps="$1
$undo_steps"
}

# Tells whether process $1 is gone (or a zombie, which no longer runs).
process_gone() {
    state=$(sed -n 's/^.*) \(.\).*$/\1/p' "/proc/$1/stat" 2>/dev/null)
    [ -z "$state" ] || [ "$state" = Z ] || [ "$state" = X ]
}

# Starts a daemon in the background: start NAME COMMAND... Its output goes
# to NAME.log in the work folder, it does not inherit the lock, and its
# process id is left in $started.
start() {
    name=$1
    shift
    "$@" >"$WORK_DIR/$name.log" 2>&1 </dev/null 9>&- &
    started=$!
    our_pids="$started $our_pids"
}

# Stops one daemon we started, by its process id: SIGTERM, and SIGKILL if it
# has not gone within 5 s.
stop() {
    kill -TERM "$1" 2>/dev/null
    deadline=$(($(now_ds) + 50))
    while ! process_gone "$1" && [ "$(now_ds)" -lt "$deadline" ]; do
        sleep 0.1
    done
    if ! process_gone "$1"; then
        say "process $1 ignored SIGTERM; killing it"
        kill -KILL "$1" 2>/dev/null
        while ! process_gone "$1"; do sleep 0.1; done
    fi
    wait "$1" 2>/dev/null
    our_pids=$(echo " $our_pids " | sed "s/ $1 / /; s/^ *//; s/ *$//")
}

# Waits up to 5 s until a socket of this network namespace listens on UDP
# ADDRESS PORT, as /proc/net/udp shows it (the address's bytes in memory
# order, then the port, both in hex); false if none does by then.
wait_listening() {
    local_address=$(echo "$1" | awk -F. '{ printf "%02X%02X%02X%02X", $4, $3, $2, $1 }')
    local_address=$local_address:$(printf '%04X' "$2")
    deadline=$(($(now_ds) + 50))
    until awk -v want="$local_address" '$2 == want { found = 1 } END { exit !found }' /proc/net/udp; do
        [ "$(now_ds)" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Puts the machine back as the test found it; runs on every exit, also after
# a failure or a signal midway.
finish() {
    status=$?
    trap - EXIT INT TERM HUP
    trap '' PIPE
    for pid in $our_pids; do
        stop "$pid"
    done
    eval "$undo_steps"
    if [ -n "$clock_saved" ] &&
        ! "$CLOCK_DISCIPLINE" restore "$WORK_DIR/clock.saved"; then
        say "FAILED: the kernel's clock-discipline state could not be put back"
        status=1
    fi
    exit "$status"
}

# Checks that the test can run here, takes the shared daemon lock, refuses to
# run beside a time daemon that is not ours, and saves the kernel's state.
# Arguments: the daemon programs the test needs.
begin() {
    [ "$(id -u)" -eq 0 ] || skip "needs root: the daemons steer the kernel clock"
    # A container may give root no right to set the clock (CAP_SYS_TIME, bit 25).
    capabilities=$(sed -n 's/^CapEff:[[:space:]]*//p' /proc/self/status)
    [ $((0x${capabilities:-0} >> 25 & 1)) -eq 1 ] ||
        skip "no right to set the kernel clock here (CAP_SYS_TIME)"
    for program in "$@"; do
        [ -x "$program" ] || skip "$program is missing: run scripts/setup.sh"
    done
    [ -x "$TVKDMPST" ] || skip "$TVKDMPST is missing: build the native preset first"
    [ -x "$CLOCK_DISCIPLINE" ] || skip "$CLOCK_DISCIPLINE is missing: build the native preset first"
    command -v flock >/dev/null || skip "flock is missing"

    exec 9>>"$lock_file"
    flock -n 9 || say "waiting for the lock $lock_file, held by another run"
    flock -w "$TVK_LOCK_WAIT" 9 ||
        skip "another run held $lock_file for ${TVK_LOCK_WAIT} s"

    for comm in /proc/[0-9]*/comm; do
        name=$(cat "$comm" 2>/dev/null) || continue
        for known in $time_daemon_names; do
            if [ "$name" = "$known" ]; then
                pid=${comm#/proc/}
                skip "a time daemon of this machine runs ($name, pid ${pid%/comm}); stop it first"
            fi
        done
    done

    case "$WORK_DIR" in
    */"$daemon") rm -rf "$WORK_DIR" ;;
    *) skip "WORK_DIR must be a folder named $daemon, made anew: $WORK_DIR" ;;
    esac
    mkdir -p "$WORK_DIR"
    chmod 700 "$WORK_DIR"
    trap finish EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 141' PIPE
    "$CLOCK_DISCIPLINE" save "$WORK_DIR/clock.saved" || exit 1
    clock_saved=yes
}

# Writes lines 5 to 14 of the report a state must give, with CR LF, to
# expected.txt. Arguments: SvcTimeAdjustmentActive, SvcRefTimeAccessible,
# RefTimeNotSynchronized, RefSyncAfterReset, "-" for an empty value. The
# other status lines follow from the test's own settings: TZ=UTC (no
# daylight saving), no leap second announced, no clock fault.
write_expected() {
    if [ "$2" = 1 ]; then zero=0 one=1; else zero="" one=""; fi
    for line in \
        "SvcTimeAdjustmentActive=$1" \
        "SvcRefTimeAccessible=$(value "$2")" \
        "RefTimeNotSynchronized=$(value "$3")" \
        "RefDaylightSavingEnabled=$zero" \
        "RefSyncAfterReset=$(value "$4")" \
        "RefDaylightChangeAnnounced=$zero" \
        "RefIsUtc=$one" \
        "RefLeapSecondAnnounced=$zero" \
        "RefTimeSetManually=$zero" \
        "RefTimeInvalid=$zero"; do
        printf '%s\r\n' "$line"
    done >"$WORK_DIR/expected.txt"
}

# A value as the report writes it: "-" stands for an empty one.
value() {
    [ "$1" = - ] || echo "$1"
}

# Runs tvkdmpst once and tells whether its report's lines 5 to 14 are the
# expected ones; they go to actual.txt, or what went wrong instead.
report_matches() {
    rm -f "$WORK_DIR/report.ini"
    TZ=UTC "$TVKDMPST" "$WORK_DIR/report.ini" </dev/null >"$WORK_DIR/program.out" 2>&1
    status=$?
    if [ "$status" -ne 0 ] || [ -s "$WORK_DIR/program.out" ]; then
        {
            echo "tvkdmpst exited with status $status, saying:"
            cat "$WORK_DIR/program.out"
        } >"$WORK_DIR/actual.txt"
        return 1
    fi
    sed -n '5,14p' "$WORK_DIR/report.ini" >"$WORK_DIR/actual.txt" 2>/dev/null &&
        cmp -s "$WORK_DIR/expected.txt" "$WORK_DIR/actual.txt"
}

# Checks one state: expect WAIT HOLD "what" ACTIVE ACCESSIBLE NOTSYNC SYNCED.
# Within WAIT seconds the report must come to show the state and then keep
# showing it, read after read, for HOLD seconds more. The daemon needs time
# to get to a state; and what the report shows for a moment does not count:
# a daemon that has just started cannot be asked yet, and the kernel it has
# just set up says "synchronised" before the daemon is.
expect() {
    wait_s=$1 hold_s=$2 what=$3
    shift 3
    write_expected "$@"
    began=$(now_ds)
    deadline=$((began + (wait_s + hold_s) * 10))
    since=""
    while :; do
        now=$(now_ds)
        if report_matches; then
            since=${since:-$now}
            [ $((now - since)) -lt $((hold_s * 10)) ] || break
        else
            since=""
        fi
        if [ "$now" -ge "$deadline" ]; then
            state_failed "$what" "not shown for $hold_s s on end within $((wait_s + hold_s)) s"
            return
        fi
        sleep 0.2
    done
    elapsed=$((since - began))
    say "ok: $what (after $((elapsed / 10)).$((elapsed % 10)) s, held $hold_s s)"
    if [ -n "${TVK_SHOW_VIEWS:-}" ]; then
        show_daemon_view 2>&1 | sed "s/^/    /"
    fi
}

# Records a state that did not come out as it must, with what the report and
# the daemon itself said.
state_failed() {
    failures=$((failures + 1))
    say "FAILED: $1: $2"
    say "expected:"
    tr -d '\r' <"$WORK_DIR/expected.txt" | sed 's/^/    /'
    say "report lines 5 to 14:"
    tr -d '\r' <"$WORK_DIR/actual.txt" 2>/dev/null | sed 's/^/    /'
    say "kernel: $("$CLOCK_DISCIPLINE" show | tr '\n' ' ')"
    say "the daemon's own view:"
    show_daemon_view 2>&1 | sed 's/^/    /'
    for log in "$WORK_DIR"/*.log; do
        [ -s "$log" ] || continue
        say "last lines of ${log##*/}:"
        tail -n 5 "$log" | sed 's/^/    /'
    done
}

# Checks what the kernel says of the clock as a state relies on it:
# expect_kernel synchronised|unsynchronised "what". Synchronised is a
# maximum error below 16 s, as the library reads it.
expect_kernel() {
    maxerror=$("$CLOCK_DISCIPLINE" show | sed -n 's/^maxerror //p')
    kernel=unsynchronised
    [ "${maxerror:-16000000}" -ge 16000000 ] || kernel=synchronised
    if [ "$kernel" != "$1" ]; then
        failures=$((failures + 1))
        say "FAILED: $2: the kernel says the clock is $kernel (maxerror $maxerror us), not $1"
    fi
}

# Ends the test with the verdict of all its states.
end() {
    if [ "$failures" -ne 0 ]; then
        say "$failures state(s) failed"
        exit 1
    fi
    say "all states passed"
    exit 0
}
