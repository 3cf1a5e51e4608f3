// One run of the program: the report file from open to close.
#ifndef TVKDMPST_STATUS_DUMP_H
#define TVKDMPST_STATUS_DUMP_H

#include <stdio.h>

// Opens the report file for writing as a buffered text stream that stores
// every line feed as CR LF, creating or truncating the file. Returns null
// when the file cannot be opened.
FILE *open_report_stream(const char *path);

// Writes the status report to the file at path. A path that cannot be opened
// leaves nothing written; failures are not reported.
void dump_status(const char *path);

#endif
