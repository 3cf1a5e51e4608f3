// The Linux service library: its answers from the kernel's clock state.
#include "clock_state.h"
#include "tvksvcio.h"

#include <gtest/gtest.h>

#include <sys/timex.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <ostream>

namespace
{

struct StateCase {
    const char *name;
    clock_snapshot snapshot;
    int32_t adjustment;
    int32_t accessible;
    uint32_t status;
};

void PrintTo(const StateCase &c, std::ostream *out)
{
    *out << c.name;
}

// Status words: 0x01 not synchronised, 0x02 daylight saving, 0x04 synced
// since reset, 0x08 daylight change announced, 0x10 UTC, 0x20 leap second
// announced, 0x80 invalid.
const StateCase state_cases[] = {
    {"ChronydSyncedWithUnsyncFlag", {0, STA_UNSYNC, 250000, 0, 0}, 1, 1, 0x14},
    {"TimesyncdSynced", {0, STA_PLL, 0, 0, 0}, 1, 1, 0x14},
    {"NeverSynchronised", {0, STA_UNSYNC, 16000000, 0, 0}, 0, 0, 0x11},
    {"DisciplinedButLostForHours", {0, STA_PLL | STA_UNSYNC, 16000000, 0, 0}, 1, 0, 0x11},
    {"FrequencyLockedOnly", {0, STA_FLL, 16000000, 0, 0}, 1, 0, 0x11},
    {"PulsePerSecondOnly", {0, STA_PPSTIME | STA_PPSFREQ, 16000000, 0, 0}, 1, 0, 0x11},
    {"JustUnderTheLimit", {0, STA_UNSYNC, 15999999, 0, 0}, 1, 1, 0x14},
    {"LeapSecondInserted", {0, STA_PLL | STA_INS, 1000, 0, 0}, 1, 1, 0x34},
    {"LeapSecondDeleted", {0, STA_PLL | STA_DEL, 1000, 0, 0}, 1, 1, 0x34},
    {"ClockError", {0, STA_PLL | STA_CLOCKERR, 1000, 0, 0}, 1, 1, 0x94},
    {"ReadFailed", {EPERM, 0, 0, 0, 0}, -EPERM, 0, 0x91},
    {"DaylightSavingOn", {0, STA_PLL, 1000, 1, 1}, 1, 1, 0x16},
    {"DaylightSavingStartsWithinTheHour", {0, STA_PLL, 1000, 0, 1}, 1, 1, 0x1C},
    {"DaylightSavingEndsWithinTheHour", {0, STA_PLL, 1000, 1, 0}, 1, 1, 0x1E},
};

class ClockState : public testing::TestWithParam<StateCase>
{
};

TEST_P(ClockState, Answers)
{
    const StateCase &c = GetParam();
    const service_answers answers = answers_from(c.snapshot);
    EXPECT_EQ(answers.adjustment_active, c.adjustment);
    EXPECT_EQ(answers.ref_time_accessible, c.accessible);
    EXPECT_EQ(answers.ref_time_status, c.status);
}

INSTANTIATE_TEST_SUITE_P(KernelStates, ClockState, testing::ValuesIn(state_cases),
                         [](const testing::TestParamInfo<StateCase> &info) {
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

// The library on this machine: only what must hold whatever its clock does.
TEST(KernelLibrary, AnswersAgreeWithTheKernel)
{
    const int32_t adjustment = tvk_time_adjustment_active();
    const int32_t accessible = tvk_ref_time_accessible();
    const uint32_t status = tvk_get_ref_time_status();

    struct timex state = {};
    ASSERT_GE(adjtimex(&state), 0);
    const bool synced = state.maxerror < synchronised_maxerror_limit;

    EXPECT_EQ(accessible, synced ? 1 : 0);
    EXPECT_EQ(adjustment,
              synced || (state.status & (STA_PLL | STA_FLL | STA_PPSTIME | STA_PPSFREQ)) != 0 ? 1
                                                                                              : 0);
    EXPECT_EQ(status & 0x01u, synced ? 0u : 1u);
    EXPECT_EQ(status & 0x04u, synced ? 4u : 0u);
    EXPECT_EQ(status & 0x10u, 0x10u);
    EXPECT_EQ(status & 0x40u, 0u);
    EXPECT_EQ(status & ~0xFFu, 0u);
    // The same reading serves every later call of the process.
    EXPECT_EQ(tvk_get_ref_time_status(), status);
}

} // namespace
