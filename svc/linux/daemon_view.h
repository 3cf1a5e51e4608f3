// What the time daemon of this machine says of its own state, as the service
// library gathers it before it answers.
#ifndef TVKSVCIO_DAEMON_VIEW_H
#define TVKSVCIO_DAEMON_VIEW_H

enum daemon_presence {
    no_daemon,       // no time daemon runs on this machine
    daemon_unasked,  // one runs, but cannot be asked or gave no valid answer
    daemon_answered, // one runs and gave the view below
};

// The leap indicator that NTP and chronyd share.
enum leap_indicator {
    leap_none = 0,
    leap_insert = 1,         // a second is inserted at the end of the day
    leap_delete = 2,         // a second is deleted at the end of the day
    leap_unsynchronised = 3, // the daemon's clock is not synchronised
};

struct daemon_view {
    daemon_presence presence;
    // The rest holds only for daemon_answered.
    bool source_reachable; // a time source answered within its recent polls
    bool synchronised;     // the daemon keeps the clock synchronised to a source
    leap_indicator leap;   // leap_insert or leap_delete when announced
};

#endif
