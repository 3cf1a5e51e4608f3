#include "clock_state.h"

#include <errno.h>
#include <sys/timex.h>
#include <time.h>

namespace
{

int keeps_daylight_saving(time_t when)
{
    struct tm local;
    return localtime_r(&when, &local) != nullptr && local.tm_isdst > 0;
}

} // namespace

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
