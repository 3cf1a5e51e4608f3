// systemd-timesyncd's own view of its last server reply, from its D-Bus
// properties or its synchronized file.
#ifndef TVKSVCIO_TIMESYNCD_STATE_H
#define TVKSVCIO_TIMESYNCD_STATE_H

#include "daemon_view.h"

#include <stdint.h>

// timesyncd's NTPMessage property: its record of the last server reply it
// accepted, all zero before the first. Times are microseconds since 1970;
// origin and destination on this machine's clock, receive and transmit on
// the server's.
struct timesyncd_ntp_message {
    uint32_t leap; // the reply's leap indicator
    uint64_t origin_us;
    uint64_t receive_us;
    uint64_t transmit_us;
    uint64_t destination_us; // when the reply arrived
    bool spike;              // timesyncd did not adjust the clock to this reply
    uint64_t packet_count;   // replies accepted since timesyncd started
};

// What the library gathered of systemd-timesyncd, on the system bus or off it.
struct timesyncd_facts {
    bool on_bus; // the bus fields hold; otherwise the file fields

    // On the bus: the NTPMessage and PollIntervalUSec properties.
    timesyncd_ntp_message message;
    uint64_t poll_interval_us;

    // Off the bus: /run/systemd/timesync/synchronized, which timesyncd
    // touches at every synchronisation, and timesyncd's process.
    bool file_exists;
    int64_t file_mtime_us;                  // CLOCK_REALTIME
    unsigned long long process_start_ticks; // /proc/<pid>/stat: clock ticks after boot
    long ticks_per_second;
    int64_t boot_clock_us; // CLOCK_BOOTTIME, read together with now_us

    int64_t now_us; // CLOCK_REALTIME when the facts were gathered
};

// The daemon view these facts give; false when they cannot come from
// timesyncd, which leaves view alone.
bool timesyncd_view(const timesyncd_facts &facts, daemon_view &view);

// Asks systemd-timesyncd, running as process pid; false when it cannot be
// asked.
bool ask_timesyncd(int pid, daemon_view &view);

#endif
