#!/bin/bash
# Measures what one run of tvkdmpst costs next to the floor of its job, the
# least a program doing it can do, and writes the figures, the machine and
# the commands to docs/performance.md.
#
#   native:  instructions (callgrind), wall time (hyperfine), peak memory
#            (/usr/bin/time) and the writes that put the report into its file
#            (strace), for tvkdmpst, bench/floor_stdio.c (the floor of a
#            program that formats its report through the C library's
#            streams, as tvkdmpst does) and bench/floor_posix.c (one bare
#            write, for information);
#   Windows: wall time under Wine, the two programs taking turns with one
#            wineserver, and the stripped sizes, for tvkdmpst.exe and
#            bench/floor_win32.c;
#   library: wall time of the real Linux service library against the
#            stand-in, on this machine with no time daemon and with a
#            chronyd that answers (hyperfine).
#
# The floors are built by the project's own build (bench/CMakeLists.txt), with
# the program's compiler and flags, hardening included.
#
# Every program runs beside the scripted stand-in library with its default
# answers, so all of them write the same report. Not a test: nothing here
# fails on a figure, only on a program that does not do the job.
# Usage: bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
doc=$root/docs/performance.md

wine_pairs=100    # Windows runs of each program, taking turns
memory_runs=51    # native runs of each program for its peak memory
hyperfine_rounds=10 hyperfine_runs=200

scripts/setup.sh all >&2

echo "== Building the release programs and the floors" >&2
for preset in native windows-i686; do
    dir=build/bench-${preset%%-*}
    cmake --preset "$preset" -B "$dir" -DBUILD_TESTING=OFF -DTVKDMPST_BENCH_FLOORS=ON >/dev/null
    cmake --build "$dir" >/dev/null
done

work=$root/build/bench
rm -rf "$work/native" "$work/windows"
mkdir -p "$work/native" "$work/windows"

# Unset, the stand-in library answers with its defaults: service active,
# reference reachable, status word 0x11.
unset TVKSTUB_ADJUSTMENT TVKSTUB_ACCESSIBLE TVKSTUB_STATUS TVKSTUB_LOG TVKSTUB_PROBE

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t) ? "met" : "missed" }'; }
median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
instructions_of() { # [env -i ...] program: instructions of one whole run
    "$@" 2>&1 >/dev/null | sed -n 's/.*Collected : //p'
}

# --- Native ------------------------------------------------------------------
echo "== Native" >&2
cd "$work/native"
# Each program finds the stand-in library beside it through its RUNPATH.
cp -P "$root"/build/bench-native/stub/libtvksvcio.so* .
cp "$root"/build/bench-native/{tvkdmpst,floor,floor-stdio} .
for p in tvkdmpst floor floor-stdio; do
    [ "$(readelf -d $p | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')" = '$ORIGIN' ]
done
# All three are built hardened (control-flow protection aside, as in the
# package test). The floors hold no array or address-taken local, which
# alone the stack protector guards, so none of their code calls it.
hardening-check --nocfprotection --quiet tvkdmpst
hardening-check --nocfprotection --nostackprotector --quiet floor floor-stdio
# The floor's compile and link flags as the build gives them, without paths.
floor_flags=$(ninja -C "$root/build/bench-native" -t commands floor-stdio |
    grep -E 'floor_stdio\.c$|-o floor-stdio ' | tr ' ' '\n' |
    grep -E '^-(O|D|f|W|std)' | grep -v -- -rpath | awk '!seen[$0]++' | paste -sd ' ')

programs="tvkdmpst floor-stdio floor"
for p in $programs; do
    ./$p $p.ini
done
cmp tvkdmpst.ini floor.ini
cmp tvkdmpst.ini floor-stdio.ini
report_bytes=$(stat -c %s tvkdmpst.ini)

declare -A instr instr_bare hyper memory writes
for p in $programs; do
    instr[$p]=$(instructions_of valgrind --tool=callgrind --callgrind-out-file=/dev/null ./$p $p.ini)
    instr_bare[$p]=$(instructions_of env -i \
        valgrind --tool=callgrind --callgrind-out-file=/dev/null ./$p $p.ini)
done

# Rounds in turn, the order of the programs reversed every other round, so
# that a busy spell of the machine falls on all of them alike.
: >hyperfine.txt
for round in $(seq "$hyperfine_rounds"); do
    commands=()
    for p in $programs; do
        commands+=("./$p $p.ini")
    done
    if [ $((round % 2)) = 0 ]; then
        commands=("${commands[2]}" "${commands[1]}" "${commands[0]}")
    fi
    hyperfine -N --warmup 50 --runs "$hyperfine_runs" --export-csv hyperfine.$round.csv \
        "${commands[@]}" >>hyperfine.txt 2>&1
done
for p in $programs; do
    # Columns: command, mean, stddev, median, ...; seconds.
    hyper[$p]=$(awk -F, -v c="./$p $p.ini" '$1 == c { print $4 * 1e6 }' hyperfine.*.csv | median)
done

for _ in $(seq "$memory_runs"); do
    for p in $programs; do
        /usr/bin/time -f %M -a -o memory.$p ./$p $p.ini
    done
done
for p in $programs; do
    memory[$p]=$(median <memory.$p)
done

for p in $programs; do
    strace -o strace.$p -e trace=openat,open,creat,write,writev,pwrite64,pwritev,pwritev2 ./$p $p.ini
    fd=$(sed -n "s/^open[a-z]*(.*\"$p\\.ini\".* = \\([0-9]*\\)\$/\\1/p" strace.$p)
    writes[$p]=$(grep -cE "^(write|writev|pwrite64|pwritev|pwritev2)\\($fd," strace.$p || true)
done

# --- Windows under Wine ------------------------------------------------------
echo "== Windows under Wine" >&2
cd "$work/windows"
cp "$root"/build/bench-windows/{tvkdmpst.exe,floor.exe,tvksvcio.dll} .
for p in tvkdmpst floor; do
    i686-w64-mingw32-strip -o $p.stripped.exe $p.exe
done
size_program=$(stat -c %s tvkdmpst.stripped.exe)
size_floor=$(stat -c %s floor.stripped.exe)

export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
# One wineserver serves every run; it is stopped however the script ends.
trap '"$root/cmake/wine-prefix.sh" stop' EXIT
"$root/cmake/wine-prefix.sh" start

wine_run() { # program: microseconds of one run under Wine
    local start=$EPOCHREALTIME
    wine $1.exe $1.ini </dev/null >/dev/null 2>&1
    local end=$EPOCHREALTIME
    echo $((${end/./} - ${start/./}))
}
for _ in $(seq 10); do
    wine_run tvkdmpst >/dev/null
    wine_run floor >/dev/null
done
cmp tvkdmpst.ini "$work/native/tvkdmpst.ini"
cmp floor.ini "$work/native/tvkdmpst.ini"
: >wine.tvkdmpst
: >wine.floor
for _ in $(seq "$wine_pairs"); do
    wine_run tvkdmpst >>wine.tvkdmpst
    wine_run floor >>wine.floor
done
wine_program=$(median <wine.tvkdmpst)
wine_floor=$(median <wine.floor)

# --- The Linux service library ----------------------------------------------
# The real libtvksvcio.so.1 against the stand-in, the same program beside
# each: with no time daemon on the machine, and with a chronyd that answers on
# its command port. That chronyd synchronises to a second one, which serves
# this machine's own clock on 127.0.0.1; both run with -x, so neither touches
# the kernel's clock. Needs root (the command port is 323) and the chrony that
# scripts/setup.sh unpacks; the daemons are stopped however the script ends.
echo "== The Linux service library" >&2
rm -rf "$work/library"
mkdir -p "$work/library/stub" "$work/library/real"
cd "$work/library"
cp "$root/build/bench-native/tvkdmpst" stub/
cp "$root/build/bench-native/tvkdmpst" real/
cp -P "$root"/build/bench-native/stub/libtvksvcio.so* stub/
cp -P "$root"/build/bench-native/libtvksvcio.so* real/

chronyd=$root/build/daemons/usr/sbin/chronyd
# The tests that start time daemons take the same lock, so none runs
# meanwhile.
exec 9>/tmp/tvk-daemons.lock
flock -w 600 9

library_pids=""
stop_library_daemons() {
    for pid in $library_pids; do
        kill "$pid" 2>/dev/null && while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    done
    library_pids=""
}
trap 'stop_library_daemons; "$root/cmake/wine-prefix.sh" stop' EXIT

# Wall time of both libraries in one scenario: rounds in turn, the order
# reversed every other round; the medians go to lib_stub and lib_real.
library_round() { # scenario
    for round in $(seq "$hyperfine_rounds"); do
        if [ $((round % 2)) = 0 ]; then
            set -- "real/tvkdmpst real.ini" "stub/tvkdmpst stub.ini"
        else
            set -- "stub/tvkdmpst stub.ini" "real/tvkdmpst real.ini"
        fi
        hyperfine -N --warmup 50 --runs "$hyperfine_runs" --export-csv "$scenario.$round.csv" \
            "$@" >>hyperfine.txt 2>&1
    done
    lib_stub=$(awk -F, '$1 == "stub/tvkdmpst stub.ini" { print $4 * 1e6 }' "$scenario".*.csv | median)
    lib_real=$(awk -F, '$1 == "real/tvkdmpst real.ini" { print $4 * 1e6 }' "$scenario".*.csv | median)
}
line_of() { # report key: the key's value in the report
    sed -n "s/^$2=\\(.*\\)\\r\$/\\1/p" "$1"
}

: >hyperfine.txt
# The real library itself tells whether a time daemon runs here.
real/tvkdmpst real.ini
if [ "$(line_of real.ini SvcTimeAdjustmentActive)" != 0 ]; then
    echo "a time daemon runs on this machine: stop it first" >&2
    exit 1
fi
scenario=none
library_round
none_stub=$lib_stub none_real=$lib_real

printf '%s\n' "port 11123" "bindaddress 127.0.0.1" "allow 127.0.0.1" "local stratum 8" \
    "cmdport 0" "pidfile $work/library/server.pid" >server.conf
printf '%s\n' "server 127.0.0.1 port 11123 iburst minpoll -2 maxpoll 0" \
    "bindcmdaddress 127.0.0.1" "bindcmdaddress /" "pidfile $work/library/client.pid" >client.conf
"$chronyd" -d -x -u root -f server.conf >server.log 2>&1 </dev/null 9>&- &
library_pids="$! $library_pids"
"$chronyd" -d -x -u root -f client.conf >client.log 2>&1 </dev/null 9>&- &
library_pids="$! $library_pids"
# Measured once the client has synchronised to the server: then chronyd is
# asked for its tracking and its one source.
for _ in $(seq 100); do
    real/tvkdmpst real.ini
    [ "$(line_of real.ini RefSyncAfterReset)" = 1 ] && break
    sleep 0.1
done
[ "$(line_of real.ini RefSyncAfterReset)" = 1 ]
scenario=chronyd
library_round
chronyd_stub=$lib_stub chronyd_real=$lib_real
stop_library_daemons
exec 9>&-

# --- The figures -------------------------------------------------------------
# Native targets against floor_stdio; the bare floor for information.
r_instr=$(ratio "${instr[tvkdmpst]}" "${instr[floor-stdio]}")
r_instr_bare=$(ratio "${instr_bare[tvkdmpst]}" "${instr_bare[floor-stdio]}")
r_hyper=$(ratio "${hyper[tvkdmpst]}" "${hyper[floor-stdio]}")
r_memory=$(ratio "${memory[tvkdmpst]}" "${memory[floor-stdio]}")
b_instr=$(ratio "${instr[tvkdmpst]}" "${instr[floor]}")
b_instr_bare=$(ratio "${instr_bare[tvkdmpst]}" "${instr_bare[floor]}")
b_hyper=$(ratio "${hyper[tvkdmpst]}" "${hyper[floor]}")
b_memory=$(ratio "${memory[tvkdmpst]}" "${memory[floor]}")
r_wine=$(ratio "$wine_program" "$wine_floor")
r_none=$(ratio "$none_real" "$none_stub")
r_chronyd=$(ratio "$chronyd_real" "$chronyd_stub")
r_size=$(ratio "$size_program" "$size_floor")
kib() { awk -v b="$1" 'BEGIN { printf "%.1f KiB", b / 1024 }'; }
ms() { awk -v u="$1" 'BEGIN { printf "%.2f ms", u / 1000 }'; }
[ "${writes[tvkdmpst]}" = 1 ] && v_writes=met || v_writes=missed
v_size=$(awk -v b="$size_program" 'BEGIN { print (b <= 24 * 1024) ? "met" : "missed" }')

machine_cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
machine_memory=$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
environment_size=$(env | wc -l)

{
    cat <<EOF
# Performance

What one run of \`tvkdmpst\` costs, side by side with the floor of its job, the
least a program of the same kind can do for the same report. Every program runs
beside the scripted stand-in library with its default answers and writes the
same report of $report_bytes bytes. Written by \`bench/run.sh\` on
$(date -u +%Y-%m-%d); all figures are from that one run.

## Native

\`tvkdmpst\` formats its report through the C library's buffered streams, so its
floor is [\`bench/floor_stdio.c\`](../bench/floor_stdio.c): ask the service
library once, open the file, one \`fprintf\` of the report's bytes into a cookie
stream over it and \`fclose\`, which stores them in one write. The bare floor,
[\`bench/floor_posix.c\`](../bench/floor_posix.c) (one open, one \`write\`, one
close, no stream), is shown for information. All three are built by the
project's build with the program's compiler and flags, Debian's hardening
included, and find the library beside them through the RUNPATH \`\$ORIGIN\`;
\`hardening-check\` passes on each (the floors hold nothing the stack
protector guards). The floors' flags:

    $floor_flags

| Measure | tvkdmpst | floor_stdio | Ratio | Target | | Bare floor | Ratio |
|---|---:|---:|---:|---|---|---:|---:|
| Instructions, whole run (callgrind) | ${instr[tvkdmpst]} | ${instr[floor-stdio]} | $r_instr | at most 1.15 | $(verdict "$r_instr" 1.15) | ${instr[floor]} | $b_instr |
| Instructions, empty environment (callgrind) | ${instr_bare[tvkdmpst]} | ${instr_bare[floor-stdio]} | $r_instr_bare | | | ${instr_bare[floor]} | $b_instr_bare |
| Wall time, median of $hyperfine_rounds rounds of $hyperfine_runs runs (hyperfine) | $(ms "${hyper[tvkdmpst]}") | $(ms "${hyper[floor-stdio]}") | $r_hyper | | | $(ms "${hyper[floor]}") | $b_hyper |
| Peak memory, median of $memory_runs (\`/usr/bin/time\`) | ${memory[tvkdmpst]} KiB | ${memory[floor-stdio]} KiB | $r_memory | at most 1.10 | $(verdict "$r_memory" 1.10) | ${memory[floor]} KiB | $b_memory |
| Writes that put the report into its file (strace) | ${writes[tvkdmpst]} | ${writes[floor-stdio]} | | exactly 1 | $v_writes | ${writes[floor]} | |

## Windows

The floor is [\`bench/floor_win32.c\`](../bench/floor_win32.c), a GUI-subsystem
program bound to \`tvksvcio.dll\` that asks it once and puts the report's bytes
into the file with one open, one write and one close, built by the project's
build as well.

| Measure | tvkdmpst.exe | floor.exe | Ratio | Target | |
|---|---:|---:|---:|---|---|
| Wall time under Wine, median of $wine_pairs, taking turns | $(ms "$wine_program") | $(ms "$wine_floor") | $r_wine | at most 1.10 | $(verdict "$r_wine" 1.10) |
| Executable, stripped | $size_program B ($(kib "$size_program")) | $size_floor B ($(kib "$size_floor")) | $r_size | at most 24 KiB | $v_size |

## The Linux service library

The real \`libtvksvcio.so.1\` asks the machine's time daemon before it answers;
the stand-in answers from its environment. The same \`tvkdmpst\` runs beside
each, the two taking turns, in $hyperfine_rounds rounds of $hyperfine_runs runs
(hyperfine, medians): on this machine with no time daemon, where chronyd's
closed command port answers at once and \`/proc\` is scanned, and with a
chronyd (\`-x\`, synchronised to a second one on 127.0.0.1) that answers its
tracking and its one source on its command port.

| Machine | Real library | Stand-in | Ratio | Target | |
|---|---:|---:|---:|---|---|
| No time daemon | $(ms "$none_real") | $(ms "$none_stub") | $r_none | at most 1.5 | $(verdict "$r_none" 1.5) |
| chronyd answering | $(ms "$chronyd_real") | $(ms "$chronyd_stub") | $r_chronyd | at most 1.5 | $(verdict "$r_chronyd" 1.5) |

## Reading the figures

- Instructions count the whole process, the dynamic loader included, which
  reads the entire environment at start-up; this run had $environment_size
  environment variables. With an empty environment the loader's share, which
  every program pays alike, is smaller and the ratios are larger.
- Immediate binding (\`-z now\`) has the loader look up every function a
  program imports before \`main\` runs, instead of at each one's first call:
  the programs pay for all their imports at start-up.
- Peak memory is the resident set, nearly all of it pages of \`ld.so\` and
  \`libc.so.6\` that the kernel maps in blocks around each page a program
  touches; the C library's stream, \`fprintf\` and \`malloc\` code is most of
  what \`floor_stdio\` and \`tvkdmpst\` take beyond the bare floor.
- The Windows runs alternate between the two programs under one wineserver,
  after ten warm-up runs of each; most of each run is Wine starting a process.

## Machine

- $machine_cpu, $(nproc) cores, $machine_memory memory
- $(. /etc/os-release && echo "$PRETTY_NAME"), Linux $(uname -r), $(ldd --version | head -n 1)
- $(gcc --version | head -n 1); $(i686-w64-mingw32-gcc --version | head -n 1)
- $(wine --version); $(valgrind --version); $(hyperfine --version); $(strace -V | head -n 1)

## Reproducing

\`\`\`sh
bench/run.sh    # builds, measures and writes this file
\`\`\`

It builds the release programs and the floors in \`build/bench-native\` and
\`build/bench-windows\` (\`-DTVKDMPST_BENCH_FLOORS=ON\`) and measures in
\`build/bench/native\` and \`build/bench/windows\`, where single measurements can
be repeated:

\`\`\`sh
cd build/bench/native
valgrind --tool=callgrind --callgrind-out-file=/dev/null ./tvkdmpst tvkdmpst.ini
hyperfine -N --warmup 50 --runs 200 "./tvkdmpst tvkdmpst.ini" "./floor-stdio floor-stdio.ini"
/usr/bin/time -v ./tvkdmpst tvkdmpst.ini
strace -e trace=openat,write ./tvkdmpst tvkdmpst.ini
cd ../windows
export WINEPREFIX=\$PWD/../wineprefix WINEDEBUG=-all LC_ALL=C.UTF-8; wineserver -p
wine tvkdmpst.exe tvkdmpst.ini; wine floor.exe floor.ini
\`\`\`
EOF
} >"$doc"

echo "== Written to docs/performance.md" >&2
sed -n '/^| Measure/,/^$/p' "$doc"
