#include "status_report.h"

#include "tvksvcio.h"
#include "version.h"

static const char program_title[] = "Tavrenik Time Adjustment Status Dumper";
static const char program_version[] = TVKDMPST_VERSION_SHORT;

const ref_time_status_flag ref_time_status_flags[8] = {
    {0x01, "RefTimeNotSynchronized"},
    {0x02, "RefDaylightSavingEnabled"},
    {0x04, "RefSyncAfterReset"},
    {0x08, "RefDaylightChangeAnnounced"},
    {0x10, "RefIsUtc"},
    {0x20, "RefLeapSecondAnnounced"},
    {0x40, "RefTimeSetManually"},
    {0x80, "RefTimeInvalid"},
};

void write_report_item(FILE *report, const char *key, int32_t value, int show)
{
    if (show)
        fprintf(report, "%s=%d\n", key, static_cast<int>(value));
    else
        fprintf(report, "%s=\n", key);
}

void write_ref_time_status(FILE *report, uint32_t status, int show)
{
    for (const ref_time_status_flag &flag : ref_time_status_flags)
        write_report_item(report, flag.key, (status & flag.mask) ? 1 : 0, show);
}

void write_status_report(FILE *report)
{
    fprintf(report, "%s\nAbout=%s %s\n\n", "[Info]", program_title, program_version);
    fprintf(report, "%s\n", "[Output]");

    // The library is asked in a fixed order: whether the service is active,
    // then (only when it is) whether the reference is reachable, then the
    // status word, which is fetched in every run.
    const int32_t adjustment = tvk_time_adjustment_active();
    write_report_item(report, "SvcTimeAdjustmentActive", adjustment, 1);

    const int active = adjustment > 0;
    const int accessible = active && tvk_ref_time_accessible() != 0;
    write_report_item(report, "SvcRefTimeAccessible", accessible, active);

    const uint32_t status = tvk_get_ref_time_status();
    write_ref_time_status(report, status, accessible);

    fputc('\n', report);
}
