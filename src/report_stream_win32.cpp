#include "status_dump.h"

// The C runtime's text mode stores each line feed as CR LF; its fopen creates
// or truncates the file with normal attributes and lets others read and write
// it while the report is being written.
FILE *open_report_stream(const char *path)
{
    return fopen(path, "w");
}
