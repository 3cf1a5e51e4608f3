// The service library on Linux: this machine's time daemon, as it sees
// itself, and the kernel's clock state for what only the kernel knows.
#define TVKSVCIO_BUILD
#include "service_answers.h"
#include "time_daemon.h"
#include "tvksvcio.h"

// The answers of one process come from one look, taken at the first call.
static const service_answers &answers()
{
    static service_answers taken;
    static bool read;
    if (!read) {
        const daemon_view daemon = ask_time_daemon();
        taken = answers_from(daemon, read_clock_snapshot());
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
