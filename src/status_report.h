// The status report: asks the time service for its state and writes the whole
// report file to an open text stream.
#ifndef TVKDMPST_STATUS_REPORT_H
#define TVKDMPST_STATUS_REPORT_H

#include <stdint.h>
#include <stdio.h>

// One flag of the reference time status word and the report key it has.
struct ref_time_status_flag {
    uint32_t mask;
    const char *key;
};

extern const ref_time_status_flag ref_time_status_flags[8];

// Writes "key=value\n", or "key=\n" when show is zero.
void write_report_item(FILE *report, const char *key, int32_t value, int show);

// Writes one item for each flag of the table, in table order: 1 when the
// status word has the flag's bit set, else 0.
void write_ref_time_status(FILE *report, uint32_t status, int show);

// Writes the complete report; neither opens nor closes the stream.
void write_status_report(FILE *report);

#endif
