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

TEST(ProcessName, NamesTheTimeDaemonsByProgramOrCutName)
{
    struct {
        const char *name;
        int kind;
    } const cases[] = {
        {"chronyd", daemon_chronyd},
        {"ntpd", daemon_ntpd},
        {"systemd-timesyncd", daemon_timesyncd}, // the program's file
        {"systemd-timesyn", daemon_timesyncd},   // the process name, cut to 15 bytes
        {"systemd-timesy", -1},
        {"ptp4l", daemon_unaskable},
        {"openntpd", daemon_unaskable},
        {"chronyc", -1},
        {"", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(time_daemon_kind_of(c.name), c.kind) << c.name;
}

class ProcessScan : public ScratchFolderTest
{
  protected:
    // A process folder as /proc has it: the name in comm, stat and, unless
    // program is null, the link to its program. The link is missing for a
    // kernel thread or an ended process; "" stands for one that may not be
    // read, as another user's is for anyone but root.
    void add_process(int pid, const std::string &name, char state, const char *program)
    {
        const std::string dir = scratch + "/" + std::to_string(pid);
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        std::ofstream(dir + "/comm") << name << "\n";
        std::ofstream(dir + "/stat") << pid << " (" << name << ") " << state
                                     << " 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 4242 0 0\n";
        if (program == nullptr)
            return;
        if (*program == '\0')
            ASSERT_EQ(mkdir((dir + "/exe").c_str(), 0700), 0); // no link: not readable as one
        else
            ASSERT_EQ(symlink(program, (dir + "/exe").c_str()), 0);
    }
};

TEST_F(ProcessScan, FindsLiveTimeDaemonsOnly)
{
    add_process(1, "init", 'S', "/sbin/init");
    add_process(2, "kthreadd", 'S', nullptr);
    add_process(300, "chronyd", 'S', "/usr/sbin/chronyd (deleted)"); // upgraded while it runs
    add_process(301, "ntpd", 'Z', nullptr);                          // ended, not yet reaped
    add_process(302, "systemd-timesyn", 'S', "/lib/systemd/systemd-timesyncd");
    add_process(303, "ptp4l", 'R', "/usr/sbin/ptp4l");
    add_process(304, "chronyc", 'S', "/usr/bin/chronyc");
    mkdir((scratch + "/self").c_str(), 0700);

    const running_daemons found = scan_time_daemons(scratch.c_str());
    EXPECT_EQ(found.pid[daemon_chronyd], 300);
    EXPECT_EQ(found.pid[daemon_ntpd], 0);
    EXPECT_EQ(found.pid[daemon_timesyncd], 302);
    EXPECT_EQ(found.pid[daemon_unaskable], 303);
}

TEST_F(ProcessScan, ByNameWhereTheProgramCannotBeRead)
{
    add_process(400, "bash", 'S', "");
    add_process(401, "ntpd", 'S', "");
    add_process(402, "systemd-timesyn", 'Z', ""); // ended, not yet reaped
    const running_daemons found = scan_time_daemons(scratch.c_str());
    EXPECT_EQ(found.pid[daemon_ntpd], 401);
    EXPECT_EQ(found.pid[daemon_timesyncd], 0);
}

TEST_F(ProcessScan, NothingWhereNothingCanBeRead)
{
    add_process(10, "bash", 'S', "/bin/bash");
    const running_daemons none = scan_time_daemons(scratch.c_str());
    const running_daemons missing = scan_time_daemons((scratch + "/missing").c_str());
    for (int kind = 0; kind < daemon_kinds; ++kind) {
        EXPECT_EQ(none.pid[kind], 0);
        EXPECT_EQ(missing.pid[kind], 0);
    }
}

} // namespace
