// A scripted stand-in for the time service's interface library, for tests.
//
// Each run's answers come from the environment of the process that loads it:
//   TVKSTUB_ADJUSTMENT  result of tvk_time_adjustment_active (default 1)
//   TVKSTUB_ACCESSIBLE  result of tvk_ref_time_accessible (default 1)
//   TVKSTUB_STATUS      result of tvk_get_ref_time_status (default 0x11)
// Numbers may be decimal, or hexadecimal with 0x. When TVKSTUB_LOG names a
// file, every call appends the function's name and a line feed to it, so a
// test sees which functions were called, how often and in what order. When
// TVKSTUB_PROBE names a file, the status call also tries to open that file
// for reading and writing, as another program would while the report is being
// written, and logs "probe-open ok" or "probe-open failed".
#define TVKSVCIO_BUILD
#include "tvksvcio.h"

#include <stdio.h>
#include <stdlib.h>

static unsigned long setting(const char *name, unsigned long fallback)
{
    const char *text = getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    // strtol takes the sign of negative results; the bits are what count.
    return text[0] == '-' ? static_cast<unsigned long>(strtol(text, nullptr, 0))
                          : strtoul(text, nullptr, 0);
}

static void log_line(const char *line)
{
    const char *log = getenv("TVKSTUB_LOG");
    if (log == nullptr || *log == '\0')
        return;
    FILE *file = fopen(log, "ab");
    if (file == nullptr)
        return;
    fputs(line, file);
    fputc('\n', file);
    fclose(file);
}

static void probe_report_file()
{
    const char *probe = getenv("TVKSTUB_PROBE");
    if (probe == nullptr || *probe == '\0')
        return;
    FILE *file = fopen(probe, "r+");
    log_line(file != nullptr ? "probe-open ok" : "probe-open failed");
    if (file != nullptr)
        fclose(file);
}

int32_t tvk_time_adjustment_active(void)
{
    log_line("tvk_time_adjustment_active");
    return static_cast<int32_t>(setting("TVKSTUB_ADJUSTMENT", 1));
}

int32_t tvk_ref_time_accessible(void)
{
    log_line("tvk_ref_time_accessible");
    return static_cast<int32_t>(setting("TVKSTUB_ACCESSIBLE", 1));
}

uint32_t tvk_get_ref_time_status(void)
{
    log_line("tvk_get_ref_time_status");
    probe_report_file();
    return static_cast<uint32_t>(setting("TVKSTUB_STATUS", 0x11));
}
