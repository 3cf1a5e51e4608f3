// The report writer against a scripted library linked into the test.
#include "report_texts.h"
#include "status_dump.h"
#include "status_report.h"
#include "test_files.h"
#include "tvksvcio.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace
{

int32_t scripted_adjustment;
int32_t scripted_accessible;
uint32_t scripted_status;
// One letter a call: A(djustment active), R(eference accessible), S(tatus).
std::string calls;

} // namespace

extern "C" int32_t tvk_time_adjustment_active(void)
{
    calls += 'A';
    return scripted_adjustment;
}

extern "C" int32_t tvk_ref_time_accessible(void)
{
    calls += 'R';
    return scripted_accessible;
}

extern "C" uint32_t tvk_get_ref_time_status(void)
{
    calls += 'S';
    return scripted_status;
}

namespace
{

struct LibraryCase {
    const char *name;
    int32_t adjustment;
    int32_t accessible;
    uint32_t status;
    const char *calls;
    const char *report;
};

#define FLAGS_ALL(v)                                                                               \
    "RefTimeNotSynchronized=" v "\r\n"                                                             \
    "RefDaylightSavingEnabled=" v "\r\n"                                                           \
    "RefSyncAfterReset=" v "\r\n"                                                                  \
    "RefDaylightChangeAnnounced=" v "\r\n"                                                         \
    "RefIsUtc=" v "\r\n"                                                                           \
    "RefLeapSecondAnnounced=" v "\r\n"                                                             \
    "RefTimeSetManually=" v "\r\n"                                                                 \
    "RefTimeInvalid=" v "\r\n"                                                                     \
    "\r\n"

// Names a case in test output by its name alone.
void PrintTo(const LibraryCase &c, std::ostream *out)
{
    *out << c.name;
}

const LibraryCase library_cases[] = {
    {"ActiveReachableUtcUnsynced", 1, 1, 0x11, "ARS", REPORT_ACTIVE_UTC_UNSYNCED},
    {"AdjustmentZero", 0, 1, 0xFF, "AS", REPORT_INACTIVE},
    {"AdjustmentMinusOne", -1, 1, 0xFF, "AS",
     REPORT_HEAD "SvcTimeAdjustmentActive=-1\r\nSvcRefTimeAccessible=\r\n" REPORT_FLAGS_HIDDEN},
    {"AdjustmentLowest", INT32_MIN, 1, 0xFF, "AS",
     REPORT_HEAD "SvcTimeAdjustmentActive=-2147483648\r\n"
                 "SvcRefTimeAccessible=\r\n" REPORT_FLAGS_HIDDEN},
    {"AdjustmentTwoCountsAsActive", 2, 1, 0x00, "ARS",
     REPORT_HEAD "SvcTimeAdjustmentActive=2\r\nSvcRefTimeAccessible=1\r\n" FLAGS_ALL("0")},
    {"AdjustmentHighest", INT32_MAX, 1, 0xFF, "ARS",
     REPORT_HEAD "SvcTimeAdjustmentActive=2147483647\r\n"
                 "SvcRefTimeAccessible=1\r\n" FLAGS_ALL("1")},
    {"ReferenceUnreachable", 1, 0, 0xFF, "ARS",
     REPORT_HEAD "SvcTimeAdjustmentActive=1\r\nSvcRefTimeAccessible=0\r\n" REPORT_FLAGS_HIDDEN},
    {"ReachableAsFive", 1, 5, 0x11, "ARS", REPORT_ACTIVE_UTC_UNSYNCED},
    {"OnlyHighBitsSet", 1, 1, 0xFFFFFF00u, "ARS",
     REPORT_HEAD "SvcTimeAdjustmentActive=1\r\nSvcRefTimeAccessible=1\r\n" FLAGS_ALL("0")},
    {"AllFlagsSet", 1, 1, 0xFF, "ARS",
     REPORT_HEAD "SvcTimeAdjustmentActive=1\r\nSvcRefTimeAccessible=1\r\n" FLAGS_ALL("1")},
    {"EachFlagAlone", 1, 1, 0xAA, "ARS",
     REPORT_HEAD "SvcTimeAdjustmentActive=1\r\n"
                 "SvcRefTimeAccessible=1\r\n"
                 "RefTimeNotSynchronized=0\r\n"
                 "RefDaylightSavingEnabled=1\r\n"
                 "RefSyncAfterReset=0\r\n"
                 "RefDaylightChangeAnnounced=1\r\n"
                 "RefIsUtc=0\r\n"
                 "RefLeapSecondAnnounced=1\r\n"
                 "RefTimeSetManually=0\r\n"
                 "RefTimeInvalid=1\r\n"
                 "\r\n"},
};

class StatusReport : public testing::TestWithParam<LibraryCase>
{
};

TEST_P(StatusReport, WritesTheReportAndAsksTheLibraryInOrder)
{
    const LibraryCase &c = GetParam();
    scripted_adjustment = c.adjustment;
    scripted_accessible = c.accessible;
    scripted_status = c.status;
    calls.clear();

    const std::string path = std::string("status_report_") + c.name + ".ini";
    FILE *report = open_report_stream(path.c_str());
    ASSERT_NE(report, nullptr);
    write_status_report(report);
    std::fclose(report);

    EXPECT_EQ(read_file(path), c.report);
    EXPECT_EQ(calls, c.calls);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(LibraryResults, StatusReport, testing::ValuesIn(library_cases),
                         [](const testing::TestParamInfo<LibraryCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
