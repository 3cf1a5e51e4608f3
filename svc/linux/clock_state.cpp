#include "clock_state.h"

#include <errno.h>
#include <sys/timex.h>
#include <time.h>

namespace
{

// The bits of the reference time status word.
const uint32_t not_synchronized = 0x01;
const uint32_t daylight_saving_enabled = 0x02;
const uint32_t sync_after_reset = 0x04;
const uint32_t daylight_change_announced = 0x08;
const uint32_t is_utc = 0x10;
const uint32_t leap_second_announced = 0x20;
const uint32_t time_invalid = 0x80;

// Any of these means a daemon is steering the clock's phase or frequency.
const int disciplined = STA_PLL | STA_FLL | STA_PPSTIME | STA_PPSFREQ;

uint32_t bit_if(bool condition, uint32_t bit)
{
    return condition ? bit : 0;
}

int keeps_daylight_saving(time_t when)
{
    struct tm local;
    return localtime_r(&when, &local) != nullptr && local.tm_isdst > 0;
}

} // namespace

service_answers answers_from(const clock_snapshot &s)
{
    const bool read = s.read_error == 0;
    const bool synced = read && s.maxerror < synchronised_maxerror_limit;

    service_answers answers;
    if (!read)
        answers.adjustment_active = -s.read_error;
    else
        answers.adjustment_active = synced || (s.status & disciplined) != 0 ? 1 : 0;
    answers.ref_time_accessible = synced ? 1 : 0;
    // The kernel clock keeps UTC and cannot tell a clock set by hand; it
    // forgets synchronisation whenever the clock is set, so a synchronised
    // clock has synchronised since its last reset.
    answers.ref_time_status =
        bit_if(!synced, not_synchronized) | bit_if(s.daylight_now, daylight_saving_enabled) |
        bit_if(synced, sync_after_reset) |
        bit_if(s.daylight_now != s.daylight_in_hour, daylight_change_announced) | is_utc |
        bit_if(read && (s.status & (STA_INS | STA_DEL)) != 0, leap_second_announced) |
        bit_if(!read || (s.status & STA_CLOCKERR) != 0, time_invalid);
    return answers;
}

void read_daylight_saving(clock_snapshot &snapshot, long long now)
{
    tzset();
    // A change within the next hour is announced, as radio time signals do.
    snapshot.daylight_now = keeps_daylight_saving(static_cast<time_t>(now));
    snapshot.daylight_in_hour = keeps_daylight_saving(static_cast<time_t>(now + 3600));
}

clock_snapshot read_clock_snapshot()
{
    clock_snapshot snapshot = {};
    struct timex state = {};
    state.modes = 0; // read only
    if (adjtimex(&state) < 0) {
        snapshot.read_error = errno != 0 ? errno : EINVAL;
    } else {
        snapshot.status = state.status;
        snapshot.maxerror = state.maxerror;
    }
    read_daylight_saving(snapshot, time(nullptr));
    return snapshot;
}
