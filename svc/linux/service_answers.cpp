#include "service_answers.h"

#include <sys/timex.h>

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

uint32_t bit_if(bool condition, uint32_t bit)
{
    return condition ? bit : 0;
}

} // namespace

service_answers answers_from(const daemon_view &daemon, const clock_snapshot &kernel)
{
    const bool read = kernel.read_error == 0;
    const bool answered = daemon.presence == daemon_answered;

    // A daemon that answered speaks for its sources and its synchronisation;
    // of one that cannot be asked, only the kernel's error bound tells; with
    // none, what the kernel still keeps from an earlier one counts for nothing.
    const bool kernel_synced = read && kernel.maxerror < synchronised_maxerror_limit;
    const bool unasked = daemon.presence == daemon_unasked;
    const bool reachable = answered ? daemon.source_reachable : unasked && kernel_synced;
    const bool synced = answered ? daemon.synchronised : unasked && kernel_synced;
    const bool leap = (answered && (daemon.leap == leap_insert || daemon.leap == leap_delete)) ||
                      (read && (kernel.status & (STA_INS | STA_DEL)) != 0);

    service_answers answers;
    if (!read)
        answers.adjustment_active = -kernel.read_error;
    else
        answers.adjustment_active = daemon.presence == no_daemon ? 0 : 1;
    answers.ref_time_accessible = reachable ? 1 : 0;
    // The kernel clock keeps UTC and cannot tell a clock set by hand; it
    // forgets synchronisation whenever the clock is set, so a synchronised
    // clock has synchronised since its last reset.
    answers.ref_time_status =
        bit_if(!synced, not_synchronized) | bit_if(kernel.daylight_now, daylight_saving_enabled) |
        bit_if(synced, sync_after_reset) |
        bit_if(kernel.daylight_now != kernel.daylight_in_hour, daylight_change_announced) | is_utc |
        bit_if(leap, leap_second_announced) |
        bit_if(!read || (kernel.status & STA_CLOCKERR) != 0, time_invalid);
    return answers;
}
