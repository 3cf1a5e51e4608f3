// systemd-timesyncd's view of itself: from its NTPMessage and poll interval
// on the system bus, or from its synchronized file and its process's start.
#include "timesyncd_state.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace
{

const int64_t second = 1000000;

// NTPMessage values as a real timesyncd (systemd 252) gave them through
// busctl get-property, with the time busctl ran. Its poll interval was
// 128 s. Fields: leap, origin, receive, transmit, destination, spike,
// packet count.

// Just started, its server not yet answering: all zero, but receive and
// transmit, which timesyncd turns from NTP's era into 1970's.
const timesyncd_ntp_message no_reply_yet = {
    0, 0, 18444535084909551616u, 18444535084909551616u, 0, false, 0};
const int64_t no_reply_yet_now = 1797007526501325;

// Its first reply from a chronyd serving its local clock at stratum 8.
const timesyncd_ntp_message first_reply = {
    0, 1797007567979484, 1797007567979513, 1797007567979666, 1797007567979726, false, 1};
const int64_t first_reply_now = 1797007599982508;
const int64_t first_reply_arrival = 1797007567979726;

// A reply from a server announcing a leap second to be inserted.
const timesyncd_ntp_message leap_reply = {
    1, 1797007811979247, 1797007811979531, 1797007811979574, 1797007811979603, false, 2};
const int64_t leap_reply_now = 1797007821869945;

const uint64_t poll_interval = 128 * second;
const int64_t eight_polls = 8 * 128 * second;

// The first reply as it would have been had this machine's clock been a
// year behind: origin and destination, on the machine's clock, a year
// earlier; receive and transmit, on the server's, the same. NTP's offset,
// ((receive - origin) + (transmit - destination)) / 2, is then a year, and
// timesyncd stepped the clock by it.
const int64_t year = 365 * 86400 * second;
const timesyncd_ntp_message year_behind = {0,
                                           first_reply.origin_us - year,
                                           first_reply.receive_us,
                                           first_reply.transmit_us,
                                           first_reply.destination_us - year,
                                           false,
                                           1};
timesyncd_ntp_message as_spike(timesyncd_ntp_message message)
{
    message.spike = true;
    return message;
}
timesyncd_ntp_message with_leap(timesyncd_ntp_message message, uint32_t leap)
{
    message.leap = leap;
    return message;
}

struct BusCase {
    const char *name;
    timesyncd_ntp_message message;
    uint64_t poll_interval_us;
    int64_t now_us;
    bool valid;
    daemon_view view;
};

void PrintTo(const BusCase &c, std::ostream *out)
{
    *out << c.name;
}

// Views: presence, a source reachable, synchronised, leap.
const daemon_view unsynchronised = {daemon_answered, false, false, leap_unsynchronised};
const daemon_view synchronised = {daemon_answered, true, true, leap_none};
const daemon_view server_lost = {daemon_answered, false, true, leap_none};
const daemon_view inserting = {daemon_answered, true, true, leap_insert};

const BusCase bus_cases[] = {
    {"NoReplyYet", no_reply_yet, 32 * second, no_reply_yet_now, true, unsynchronised},
    {"RecentReply", first_reply, poll_interval, first_reply_now, true, synchronised},
    // Eight polls, as an 8-bit reach register counts them.
    {"ReplyJustWithinEightPolls", first_reply, poll_interval,
     first_reply_arrival + eight_polls - second, true, synchronised},
    {"ServerLostForEightPolls", first_reply, poll_interval,
     first_reply_arrival + eight_polls + second, true, server_lost},
    {"LeapAnnounced", leap_reply, poll_interval, leap_reply_now, true, inserting},
    {"LeapDeletionAnnounced",
     with_leap(first_reply, 2),
     poll_interval,
     first_reply_now,
     true,
     {daemon_answered, true, true, leap_delete}},
    // An old announcement may be for a leap second already past.
    {"LeapInAReplyOlderThanEightPolls", leap_reply, poll_interval,
     static_cast<int64_t>(leap_reply.destination_us) + eight_polls + second, true, server_lost},
    // The arrival counts on the clock as timesyncd set it by the reply...
    {"ClockSteppedByTheReply", year_behind, poll_interval, first_reply_now, true, synchronised},
    // ... unless it passed over the reply as a spike and left the clock.
    {"SpikeLeftTheClockAlone", as_spike(year_behind), poll_interval, first_reply_now, true,
     server_lost},
    // A clock set back by hand since the reply.
    {"ClockSetBackALittle", first_reply, poll_interval, first_reply_arrival - 10 * second, true,
     synchronised},
    {"ClockSetBackByMoreThanEightPolls", first_reply, poll_interval,
     first_reply_arrival - eight_polls - second, true, server_lost},
    // No poll is shorter than the 16 s timesyncd allows at the least.
    {"PollIntervalUnsetWithin", first_reply, 0, first_reply_arrival + 127 * second, true,
     synchronised},
    {"PollIntervalUnsetBeyond", first_reply, 0, first_reply_arrival + 129 * second, true,
     server_lost},
    // What timesyncd cannot have sent is no answer.
    {"LeapIndicatorOutOfRange",
     with_leap(first_reply, 4),
     poll_interval,
     first_reply_now,
     false,
     {}},
    {"AcceptedReplyOfAnUnsynchronisedServer",
     with_leap(first_reply, 3),
     poll_interval,
     first_reply_now,
     false,
     {}},
};

// Checks the view the facts give: expected when valid, and when not, that
// the view is left alone (it starts as one that no case gives).
void expect_view(const timesyncd_facts &facts, bool valid, const daemon_view &expected)
{
    const daemon_view untouched = {daemon_unasked, true, false, leap_delete};
    daemon_view view = untouched;
    ASSERT_EQ(timesyncd_view(facts, view), valid);
    const daemon_view &wanted = valid ? expected : untouched;
    EXPECT_EQ(view.presence, wanted.presence);
    EXPECT_EQ(view.source_reachable, wanted.source_reachable);
    EXPECT_EQ(view.synchronised, wanted.synchronised);
    EXPECT_EQ(view.leap, wanted.leap);
}

class TimesyncdOnBus : public testing::TestWithParam<BusCase>
{
};

TEST_P(TimesyncdOnBus, ViewFromNtpMessage)
{
    const BusCase &c = GetParam();
    timesyncd_facts facts = {};
    facts.on_bus = true;
    facts.message = c.message;
    facts.poll_interval_us = c.poll_interval_us;
    facts.now_us = c.now_us;
    expect_view(facts, c.valid, c.view);
}

INSTANTIATE_TEST_SUITE_P(Replies, TimesyncdOnBus, testing::ValuesIn(bus_cases),
                         [](const testing::TestParamInfo<BusCase> &info) {
                             return std::string(info.param.name);
                         });

// The synchronized file and timesyncd's process as a real timesyncd left
// them, running off the bus: the file's modification time, the process's
// start in clock ticks after boot as /proc/<pid>/stat gives it, the boot
// clock (/proc/uptime) and the time when they were read.
struct FileFacts {
    bool exists;
    int64_t mtime_us;
    unsigned long long start_ticks;
    int64_t boot_clock_us;
    int64_t now_us;
};

// Its first synchronisation, 32 s after it started.
const FileFacts first_touch = {true, 1797007888728383, 126719, 1299410000, 1797007888779518};
// Restarted 1 s after its last synchronisation, its server down: the file
// the run before touched.
const FileFacts stale_file = {true, 1797007920980393, 133169, 1332700000, 1797007922058950};
// The same, the file removed.
const FileFacts no_file = {false, 0, 133169, 1332720000, 1797007922077783};

// The same facts read later by elapsed.
FileFacts later(FileFacts facts, int64_t elapsed)
{
    facts.boot_clock_us += elapsed;
    facts.now_us += elapsed;
    return facts;
}

struct FileCase {
    const char *name;
    FileFacts file;
    long ticks_per_second;
    bool valid;
    daemon_view view;
};

void PrintTo(const FileCase &c, std::ostream *out)
{
    *out << c.name;
}

// Without a poll interval, eight of timesyncd's longest default polls.
const int64_t eight_longest_polls = 8 * 2048 * second;

const FileCase file_cases[] = {
    {"TouchedSinceTheProcessStarted", first_touch, 100, true, synchronised},
    {"TouchedJustWithinEightLongestPolls", later(first_touch, eight_longest_polls - second), 100,
     true, synchronised},
    {"TouchedLongerAgoThanEightLongestPolls", later(first_touch, eight_longest_polls + second), 100,
     true, server_lost},
    // A file from an earlier run, however recent, says nothing of this one.
    {"StaleFromTheRunBefore", stale_file, 100, true, unsynchronised},
    {"NoFile", no_file, 100, true, unsynchronised},
    // Ticks of another length place the start elsewhere: at 1000 a second
    // it was 126.7 s after boot, long before the stale file was touched.
    {"StartReadInOtherTicks", stale_file, 1000, true, {daemon_answered, true, true, leap_none}},
    {"NoTickLength", first_touch, 0, false, {}},
};

class TimesyncdOffBus : public testing::TestWithParam<FileCase>
{
};

TEST_P(TimesyncdOffBus, ViewFromSynchronizedFile)
{
    const FileCase &c = GetParam();
    timesyncd_facts facts = {};
    facts.on_bus = false;
    facts.file_exists = c.file.exists;
    facts.file_mtime_us = c.file.mtime_us;
    facts.process_start_ticks = c.file.start_ticks;
    facts.ticks_per_second = c.ticks_per_second;
    facts.boot_clock_us = c.file.boot_clock_us;
    facts.now_us = c.file.now_us;
    expect_view(facts, c.valid, c.view);
}

INSTANTIATE_TEST_SUITE_P(Files, TimesyncdOffBus, testing::ValuesIn(file_cases),
                         [](const testing::TestParamInfo<FileCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
