#include "status_dump.h"

#include "status_report.h"

void dump_status(const char *path)
{
    FILE *report = open_report_stream(path);
    if (report == nullptr)
        return;
    write_status_report(report);
    // The buffered report reaches the file here, in one piece.
    fclose(report);
}
