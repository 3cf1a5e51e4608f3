#include "timesyncd_state.h"

namespace
{

// A source counts as reachable while its last reply is younger than eight
// polls, as long as an 8-bit reach register would keep it.
const double reach_polls = 8;

// timesyncd refuses a PollIntervalMinSec below 16 s, so no poll is shorter.
const double shortest_poll_s = 16;

// The file tells nothing of the poll interval: timesyncd's default longest
// poll is taken, which a timesyncd set to poll more seldom may outlast.
const double longest_default_poll_s = 2048;

double seconds(uint64_t us)
{
    return static_cast<double>(us) / 1e6;
}

double seconds(int64_t us)
{
    return static_cast<double>(us) / 1e6;
}

// Whether something that happened at when lies within eight polls of now.
// Either side counts: a clock set back since makes it look early, and
// timesyncd asks its server again at once when the clock is set.
bool within_reach(double when, double now, double poll)
{
    const double distance = now > when ? now - when : when - now;
    return distance < reach_polls * (poll > shortest_poll_s ? poll : shortest_poll_s);
}

// The view of timesyncd as its NTPMessage and poll interval tell it.
bool view_from_bus(const timesyncd_ntp_message &message, double poll, double now, daemon_view &view)
{
    // Only the two bits of a leap indicator fit; timesyncd rejects replies
    // of unsynchronised servers, so an accepted one never says 3.
    if (message.leap > leap_unsynchronised ||
        (message.leap == leap_unsynchronised && message.packet_count != 0))
        return false;

    view.presence = daemon_answered;
    // No reply accepted yet: started moments ago, or no server answers.
    if (message.packet_count == 0) {
        view.source_reachable = false;
        view.synchronised = false;
        view.leap = leap_unsynchronised;
        return true;
    }

    // The first reply is never taken as a spike, so timesyncd has set the
    // clock at least once since it started.
    view.synchronised = true;

    // The arrival time is on the clock as it was then. Unless timesyncd
    // passed over the reply as a spike, it then moved the clock by the
    // reply's offset, perhaps by years on a machine without a clock battery;
    // the arrival on today's clock is the destination plus that offset.
    const double origin = seconds(message.origin_us);
    const double receive = seconds(message.receive_us);
    const double transmit = seconds(message.transmit_us);
    const double destination = seconds(message.destination_us);
    const double offset = ((receive - origin) + (transmit - destination)) / 2;
    const double arrival = message.spike ? destination : destination + offset;
    view.source_reachable = within_reach(arrival, now, poll);

    // An announcement in an old reply may be for a leap already past; the
    // kernel keeps its own record of one timesyncd passed on.
    view.leap = view.source_reachable ? static_cast<leap_indicator>(message.leap) : leap_none;
    return true;
}

// The view of timesyncd as its synchronized file and its process tell it.
bool view_from_file(const timesyncd_facts &facts, double now, daemon_view &view)
{
    if (facts.ticks_per_second <= 0)
        return false;
    const double boot = now - seconds(facts.boot_clock_us);
    const double started = boot + static_cast<double>(facts.process_start_ticks) /
                                      static_cast<double>(facts.ticks_per_second);
    const double touched = seconds(facts.file_mtime_us);

    view.presence = daemon_answered;
    // timesyncd never removes the file, so one older than the process is
    // from an earlier run and says nothing of this one.
    if (!facts.file_exists || touched < started) {
        view.source_reachable = false;
        view.synchronised = false;
        view.leap = leap_unsynchronised;
        return true;
    }
    view.synchronised = true;
    view.source_reachable = within_reach(touched, now, longest_default_poll_s);
    // The file tells of no leap second; the kernel's own record still counts.
    view.leap = leap_none;
    return true;
}

} // namespace

bool timesyncd_view(const timesyncd_facts &facts, daemon_view &view)
{
    daemon_view made = {};
    const double now = seconds(facts.now_us);
    const bool valid =
        facts.on_bus ? view_from_bus(facts.message, seconds(facts.poll_interval_us), now, made)
                     : view_from_file(facts, now, made);
    if (valid)
        view = made;
    return valid;
}
