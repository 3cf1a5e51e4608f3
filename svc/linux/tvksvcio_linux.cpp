// The service library on Linux: this machine's clock synchronisation, as the
// kernel keeps it for whichever time daemon disciplines the clock.
#define TVKSVCIO_BUILD
#include "clock_state.h"
#include "tvksvcio.h"

// The answers of one process come from one reading, taken at the first call.
static const service_answers &answers()
{
    static service_answers taken;
    static bool read;
    if (!read) {
        taken = answers_from(read_clock_snapshot());
        read = true;
    }
    return taken;
}

int32_t tvk_time_adjustment_active(void)
{
    return answers().adjustment_active;
}

int32_t tvk_ref_time_accessible(void)
{
    return answers().ref_time_accessible;
}

uint32_t tvk_get_ref_time_status(void)
{
    return answers().ref_time_status;
}
