// The kernel's clock-discipline state and the local time zone, read once.
#ifndef TVKSVCIO_CLOCK_STATE_H
#define TVKSVCIO_CLOCK_STATE_H

// What one reading of the kernel and the local time zone gave.
struct clock_snapshot {
    int read_error;       // 0, or the errno of a failed adjtimex read
    int status;           // timex.status: the STA_* bits
    long maxerror;        // timex.maxerror, in microseconds
    int daylight_now;     // the local time zone keeps daylight saving time now
    int daylight_in_hour; // ... and one hour from now
};

// The kernel counts the clock as synchronised while its maximum error stays
// below 16 s. STA_UNSYNC alone says nothing: chronyd leaves it set unless it
// is told to keep the hardware clock in step.
const long synchronised_maxerror_limit = 16000000;

// Fills in whether the local time zone keeps daylight saving time at now and
// one hour later.
void read_daylight_saving(clock_snapshot &snapshot, long long now);

// Reads the kernel's state and the local time zone now.
clock_snapshot read_clock_snapshot();

#endif
