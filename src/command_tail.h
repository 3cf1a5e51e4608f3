// The report path: the tail of the full command line behind the program's
// own name.
#ifndef TVKDMPST_COMMAND_TAIL_H
#define TVKDMPST_COMMAND_TAIL_H

// Tells whether a byte is the lead byte of a double-byte character in the
// system's ANSI code page.
typedef int (*lead_byte_test)(unsigned char byte);

// Returns the part of command_line behind the program's name and the blanks
// and control bytes that follow it, verbatim. The result points into
// command_line; nothing is read past its terminating zero.
const char *command_line_tail(const char *command_line, lead_byte_test is_lead_byte);

#endif
