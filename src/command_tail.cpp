#include "command_tail.h"

static const unsigned char quote = '"';
static const unsigned char blank = ' ';

const char *command_line_tail(const char *command_line, lead_byte_test is_lead_byte)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(command_line);

    if (*p == quote) {
        // A quoted name runs to the closing quote, which is passed over too.
        // The second byte of a double-byte character is never a closing
        // quote, but the end of the line always ends the name.
        ++p;
        while (*p != 0 && *p != quote) {
            if (is_lead_byte(*p) && p[1] != 0)
                ++p;
            ++p;
        }
        if (*p == quote)
            ++p;
    } else {
        while (*p > blank)
            ++p;
    }

    while (*p != 0 && *p <= blank)
        ++p;

    return reinterpret_cast<const char *>(p);
}
