// The time daemons that run on this machine, as /proc shows their processes.
#ifndef TVKSVCIO_PROCESS_SCAN_H
#define TVKSVCIO_PROCESS_SCAN_H

#include <stddef.h>

enum time_daemon_kind {
    daemon_chronyd,
    daemon_ntpd, // ntpd of NTP or ntpsec, and OpenNTPD, which shares the name
    daemon_timesyncd,
    daemon_unaskable, // PTP and other daemons this library cannot ask
    daemon_kinds,
};

// The process of each kind that runs, by its id; 0 where none runs.
struct running_daemons {
    int pid[daemon_kinds];
};

// The kind of time daemon a program's file name, or a process name as the
// kernel keeps it (cut to 15 bytes), belongs to; -1 for any other.
int time_daemon_kind_of(const char *name);

// What the library takes from a process's stat file.
struct process_stat {
    char name[16];                 // the command name, at most 15 bytes
    char state;                    // R, S, D, Z (zombie), X (dead), ...
    unsigned long long start_time; // clock ticks after boot
};

// Reads a /proc/<pid>/stat text; false when it does not have that form.
bool parse_process_stat(const char *text, size_t length, process_stat *stat);

// Reads process pid's stat file in proc_dir (/proc); false when it cannot
// be read or does not have that form.
bool read_process_stat(const char *proc_dir, int pid, process_stat *stat);

// Scans proc_dir (/proc) for live time daemons.
running_daemons scan_time_daemons(const char *proc_dir);

#endif
