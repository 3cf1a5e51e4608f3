// The call log that the stand-in service library writes.
#ifndef TVKDMPST_TESTS_STUB_LOG_H
#define TVKDMPST_TESTS_STUB_LOG_H

#include "test_files.h"

#include <string>

// The three questions of a run in which the service is active.
const char all_calls[] = "tvk_time_adjustment_active\n"
                         "tvk_ref_time_accessible\n"
                         "tvk_get_ref_time_status\n";

// The functions called so far, one a line; empty when none was.
inline std::string logged_calls(const std::string &log)
{
    const std::string bytes = read_file(log);
    return bytes == "<missing>" ? "" : bytes;
}

#endif
