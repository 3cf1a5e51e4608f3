// The Linux service library's answers: from the time daemon's own view and
// the kernel's clock state, and the daylight-saving reading of the time zone.
#include "clock_state.h"
#include "service_answers.h"

#include <gtest/gtest.h>

#include <sys/timex.h>

#include <cerrno>
#include <cstdlib>
#include <ostream>
#include <string>

namespace
{

struct AnswerCase {
    const char *name;
    daemon_view daemon;
    clock_snapshot kernel;
    int32_t adjustment;
    int32_t accessible;
    uint32_t status;
};

void PrintTo(const AnswerCase &c, std::ostream *out)
{
    *out << c.name;
}

// Daemon views: presence, a source reachable, synchronised, leap.
const daemon_view none = {no_daemon, false, false, leap_none};
const daemon_view unasked = {daemon_unasked, false, false, leap_none};
const daemon_view unreachable = {daemon_answered, false, false, leap_unsynchronised};
const daemon_view reachable_unsynced = {daemon_answered, true, false, leap_unsynchronised};
const daemon_view synced = {daemon_answered, true, true, leap_none};
const daemon_view synced_then_lost = {daemon_answered, false, true, leap_none};
const daemon_view inserting = {daemon_answered, true, true, leap_insert};
const daemon_view deleting = {daemon_answered, true, true, leap_delete};

// Kernel snapshots: read error, STA_* status, maxerror, daylight now and in
// an hour.
const clock_snapshot kernel_synced = {0, STA_PLL, 1000, 0, 0};
const clock_snapshot kernel_lost = {0, STA_PLL | STA_UNSYNC, 16000000, 0, 0};
const clock_snapshot kernel_unsync_flag_only = {0, STA_UNSYNC, 250000, 0, 0};

// Status words: 0x01 not synchronised, 0x02 daylight saving, 0x04 synced
// since reset, 0x08 daylight change announced, 0x10 UTC, 0x20 leap second
// announced, 0x80 invalid.
const AnswerCase answer_cases[] = {
    // No daemon: whatever the kernel still keeps from one that stopped.
    {"NoDaemonKernelStillDisciplined", none, kernel_synced, 0, 0, 0x11},
    {"NoDaemonKernelLost", none, kernel_lost, 0, 0, 0x11},
    // A daemon that answered speaks for itself, not the kernel.
    {"SourcesUnreachableKernelSynced", unreachable, kernel_synced, 1, 0, 0x11},
    {"ReachableNotYetSynchronised", reachable_unsynced, kernel_synced, 1, 1, 0x11},
    {"Synchronised", synced, kernel_lost, 1, 1, 0x14},
    {"SynchronisedThenSourcesLost", synced_then_lost, kernel_synced, 1, 0, 0x14},
    {"DaemonAnnouncesInsertion", inserting, kernel_synced, 1, 1, 0x34},
    {"DaemonAnnouncesDeletion", deleting, kernel_synced, 1, 1, 0x34},
    {"KernelAnnouncesLeap", synced, {0, STA_PLL | STA_INS, 1000, 0, 0}, 1, 1, 0x34},
    {"ClockError", synced, {0, STA_PLL | STA_CLOCKERR, 1000, 0, 0}, 1, 1, 0x94},
    // A daemon that cannot be asked: the kernel's error bound tells.
    {"UnaskedKernelSynced", unasked, kernel_unsync_flag_only, 1, 1, 0x14},
    {"UnaskedKernelLost", unasked, kernel_lost, 1, 0, 0x11},
    {"UnaskedJustUnderTheLimit", unasked, {0, 0, 15999999, 0, 0}, 1, 1, 0x14},
    {"UnaskedKernelLeap", unasked, {0, STA_DEL, 1000, 0, 0}, 1, 1, 0x34},
    // A kernel that cannot be read gives minus its errno, whatever runs.
    {"ReadFailedNoDaemon", none, {EPERM, 0, 0, 0, 0}, -EPERM, 0, 0x91},
    {"ReadFailedDaemonSynced", synced, {EPERM, 0, 0, 0, 0}, -EPERM, 1, 0x94},
    // The time zone's daylight saving, whatever the daemon says.
    {"DaylightSavingOn", synced, {0, STA_PLL, 1000, 1, 1}, 1, 1, 0x16},
    {"DaylightSavingStartsWithinTheHour", synced, {0, STA_PLL, 1000, 0, 1}, 1, 1, 0x1C},
    {"DaylightSavingEndsWithinTheHour", none, {0, 0, 16000000, 1, 0}, 0, 0, 0x1B},
};

class ServiceAnswers : public testing::TestWithParam<AnswerCase>
{
};

TEST_P(ServiceAnswers, FromDaemonAndKernel)
{
    const AnswerCase &c = GetParam();
    const service_answers answers = answers_from(c.daemon, c.kernel);
    EXPECT_EQ(answers.adjustment_active, c.adjustment);
    EXPECT_EQ(answers.ref_time_accessible, c.accessible);
    EXPECT_EQ(answers.ref_time_status, c.status);
}

INSTANTIATE_TEST_SUITE_P(States, ServiceAnswers, testing::ValuesIn(answer_cases),
                         [](const testing::TestParamInfo<AnswerCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(DaylightSaving, ChangeIsAnnouncedWithinTheHourBeforeIt)
{
    // Berlin moved to summer time at 2026-03-29 01:00 UTC and back to winter
    // time at 2026-10-25 01:00 UTC.
    setenv("TZ", "Europe/Berlin", 1);
    const long long spring = 1774746000;
    const long long autumn = 1792890000;
    struct {
        long long now;
        int daylight_now;
        int daylight_in_hour;
    } const cases[] = {
        {spring - 3601, 0, 0}, // more than an hour before
        {spring - 1800, 0, 1}, // within the hour
        {spring + 1, 1, 1},    // just past
        {autumn - 1800, 1, 0}, {autumn + 1, 0, 0},
    };
    for (const auto &c : cases) {
        clock_snapshot snapshot = {};
        read_daylight_saving(snapshot, c.now);
        EXPECT_EQ(snapshot.daylight_now, c.daylight_now) << c.now;
        EXPECT_EQ(snapshot.daylight_in_hour, c.daylight_in_hour) << c.now;
    }
    unsetenv("TZ");
}

} // namespace
