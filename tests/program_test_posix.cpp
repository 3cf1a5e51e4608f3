// The native program run as a separate process, bound to the scripted
// stand-in library.
#include "process_posix.h"
#include "process_scan.h"
#include "report_texts.h"
#include "scratch_posix.h"
#include "stub_log.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{

class Program : public ScratchFolderTest
{
  protected:
    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        dir = scratch;
        log = dir + "/calls.log";
    }

    // Runs program with args in the scratch directory; the library answers
    // with the given settings and logs its calls.
    Outcome run(const std::vector<std::string> &args, const std::vector<std::string> &settings = {},
                const std::string &program = TVKDMPST_PROGRAM, bool with_stub = true)
    {
        std::vector<std::string> env = {"TVKSTUB_LOG=" + log};
        if (with_stub)
            env.push_back("LD_LIBRARY_PATH=" TVKSVCIO_STUB_DIR);
        env.insert(env.end(), settings.begin(), settings.end());

        return run_process(program, args, env, dir, dir + "/output.txt");
    }

    std::string dir;
    std::string log;
};

TEST_F(Program, WritesTheReportSilentlyAndExitsZero)
{
    struct {
        std::vector<std::string> settings;
        const char *report;
        const char *calls;
    } const cases[] = {
        {{"TVKSTUB_ADJUSTMENT=1", "TVKSTUB_ACCESSIBLE=1", "TVKSTUB_STATUS=0x11"},
         REPORT_ACTIVE_UTC_UNSYNCED,
         all_calls},
        {{"TVKSTUB_ADJUSTMENT=0", "TVKSTUB_STATUS=0xFF"},
         REPORT_INACTIVE,
         "tvk_time_adjustment_active\ntvk_get_ref_time_status\n"},
        {{"TVKSTUB_ADJUSTMENT=3", "TVKSTUB_ACCESSIBLE=0", "TVKSTUB_STATUS=0xFF"},
         REPORT_HEAD "SvcTimeAdjustmentActive=3\r\nSvcRefTimeAccessible=0\r\n" REPORT_FLAGS_HIDDEN,
         all_calls},
    };
    for (const auto &c : cases) {
        std::remove(log.c_str());
        const Outcome result = run({"status.ini"}, c.settings);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(read_file(dir + "/status.ini"), c.report);
        EXPECT_EQ(logged_calls(log), c.calls);
    }
}

TEST_F(Program, PathWithABlankNamesOneFile)
{
    // Quoted by the shell it is one word; unquoted, two words joined again.
    EXPECT_EQ(run({"my status.ini"}).exit_code, 0);
    EXPECT_EQ(read_file(dir + "/my status.ini"), REPORT_ACTIVE_UTC_UNSYNCED);
    EXPECT_EQ(run({"my", "report.ini"}).exit_code, 0);
    EXPECT_EQ(read_file(dir + "/my report.ini"), REPORT_ACTIVE_UTC_UNSYNCED);
}

TEST_F(Program, JoinedPathUpToTheSystemLimitIsKeptALongerOneWritesNothing)
{
    // "./////.../name": as long as wanted, and still the file name in the
    // folder. Its first PATH_MAX - 1 bytes name status.ini, so a path cut
    // short instead of refused would write that file.
    const auto padded = [](const std::string &name, size_t length) {
        return "." + std::string(length - 1 - name.size(), '/') + name;
    };
    const std::string longest = padded("status.ini", PATH_MAX - 1);
    struct {
        std::vector<std::string> args;
        const char *written; // nullptr: nothing
    } const cases[] = {
        {{longest}, "status.ini"},
        {{padded("my", PATH_MAX - 1 - 11), "report.ini"}, "my report.ini"},
        {{longest, "x"}, nullptr},
        {{longest, ""}, nullptr},
    };
    for (const auto &c : cases) {
        std::remove((dir + "/status.ini").c_str());
        std::remove((dir + "/my report.ini").c_str());
        std::remove(log.c_str());
        EXPECT_EQ(run(c.args).exit_code, 0);
        if (c.written != nullptr) {
            EXPECT_EQ(read_file(dir + "/" + c.written), REPORT_ACTIVE_UTC_UNSYNCED) << c.written;
        } else {
            EXPECT_NE(access((dir + "/status.ini").c_str(), F_OK), 0);
            EXPECT_EQ(logged_calls(log), "");
        }
    }
}

TEST_F(Program, LongerFileHoldsExactlyTheNewReport)
{
    write_file(dir + "/status.ini", std::string(3000, 'x') + "\r\n");
    EXPECT_EQ(run({dir + "/status.ini"}).exit_code, 0);
    EXPECT_EQ(read_file(dir + "/status.ini"), REPORT_ACTIVE_UTC_UNSYNCED);
}

TEST_F(Program, UnwritablePathWritesNothingAndAsksNothing)
{
    ASSERT_EQ(mkdir((dir + "/a directory").c_str(), 0700), 0);
    const std::vector<std::vector<std::string>> arg_lists = {
        {"missing/status.ini"}, {"a directory"}, {}, {std::string(5000, 'n')}};
    for (const auto &args : arg_lists) {
        const Outcome result = run(args);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(logged_calls(log), "");
    }
    struct stat info;
    EXPECT_NE(stat((dir + "/missing").c_str(), &info), 0);
    ASSERT_EQ(stat((dir + "/a directory").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(Program, FullDeviceStillExitsZero)
{
    const Outcome result = run({"/dev/full"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.output, "");
}

TEST_F(Program, DoesNotStartWithoutTheLibrary)
{
    // A copy of the program with no library beside it and none on the path.
    const std::string copy = dir + "/tvkdmpst";
    write_file(copy, read_file(TVKDMPST_PROGRAM));
    ASSERT_EQ(chmod(copy.c_str(), 0700), 0);
    write_file(dir + "/status.ini", "kept\r\n");

    const Outcome result = run({"status.ini"}, {}, copy, false);
    EXPECT_NE(result.exit_code, 0);
    EXPECT_EQ(read_file(dir + "/status.ini"), "kept\r\n");
    EXPECT_EQ(logged_calls(log), "");
}

TEST_F(Program, DefaultLibraryWithNoTimeDaemonReportsNoService)
{
    // What the kernel may still keep from a daemon that ran before counts for
    // nothing: with none running, no service is active. The states with a
    // daemon are proven against real daemons (tests/daemons).
    for (const int pid : scan_time_daemons("/proc").pid)
        if (pid != 0)
            GTEST_SKIP() << "a time daemon runs on this machine, process " << pid;
    ASSERT_EQ(run({"status.ini"}, {}, TVKDMPST_PROGRAM, false).exit_code, 0);
    EXPECT_EQ(read_file(dir + "/status.ini"), REPORT_INACTIVE);
}

} // namespace
