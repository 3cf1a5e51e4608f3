// Finding the time daemons among this machine's processes.
#include "process_scan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "scratch_posix.h"

namespace
{

TEST(ProcessStat, ReadsNameStateAndStartTime)
{
    struct {
        const char *text;
        bool valid;
        const char *name;
        char state;
        unsigned long long start_time;
    } const cases[] = {
        {"412 (chronyd) S 1 411 411 0 -1 4194624 97 0 0 0 3 5 0 0 20 0 1 0 1834 9 0\n", true,
         "chronyd", 'S', 1834},
        // A name may hold blanks and parentheses: it ends at the last ")".
        {"7 (a) b (c) Z 1 7 7 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 99 0\n", true, "a) b (c", 'Z', 99},
        {"9 (systemd-timesyn) R 1 9 9 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 18446744073709551615\n", true,
         "systemd-timesyn", 'R', 18446744073709551615ull},
        {"5 (x) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0\n", false, "", 0, 0}, // cut short
        {"5 (x) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 12x 0\n", false, "", 0, 0},
        {"5 (sixteen-bytes-xx) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1\n", false, "", 0, 0},
        {"5 (x)", false, "", 0, 0},
        {"5 x) (S 1", false, "", 0, 0},
        {"", false, "", 0, 0},
    };
    for (const auto &c : cases) {
        process_stat stat = {};
        ASSERT_EQ(parse_process_stat(c.text, std::strlen(c.text), &stat), c.valid) << c.text;
        if (!c.valid)
            continue;
        EXPECT_STREQ(stat.name, c.name);
        EXPECT_EQ(stat.state, c.state);
        EXPECT_EQ(stat.start_time, c.start_time);
    }
}

class ProcessScan : public ScratchFolderTest
{
  protected:
    // A process folder as /proc has it: the name in comm, and stat.
    void add_process(int pid, const std::string &name, char state)
    {
        const std::string dir = scratch + "/" + std::to_string(pid);
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        std::ofstream(dir + "/comm") << name << "\n";
        std::ofstream(dir + "/stat") << pid << " (" << name << ") " << state
                                     << " 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 4242 0 0\n";
    }
};

TEST_F(ProcessScan, FindsLiveTimeDaemonsOnly)
{
    add_process(1, "init", 'S');
    add_process(300, "chronyd", 'S');
    add_process(301, "ntpd", 'Z'); // ended, not yet reaped
    add_process(302, "systemd-timesyn", 'S');
    add_process(303, "ptp4l", 'R');
    add_process(304, "chronyc", 'S');
    mkdir((scratch + "/self").c_str(), 0700);

    const running_daemons found = scan_time_daemons(scratch.c_str());
    EXPECT_EQ(found.pid[daemon_chronyd], 300);
    EXPECT_EQ(found.pid[daemon_ntpd], 0);
    EXPECT_EQ(found.pid[daemon_timesyncd], 302);
    EXPECT_EQ(found.pid[daemon_unaskable], 303);
}

TEST_F(ProcessScan, NothingWhereNothingCanBeRead)
{
    add_process(10, "bash", 'S');
    const running_daemons none = scan_time_daemons(scratch.c_str());
    const running_daemons missing = scan_time_daemons((scratch + "/missing").c_str());
    for (int kind = 0; kind < daemon_kinds; ++kind) {
        EXPECT_EQ(none.pid[kind], 0);
        EXPECT_EQ(missing.pid[kind], 0);
    }
}

} // namespace
