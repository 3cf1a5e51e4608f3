// The native program: tvkdmpst PATH writes the status report to PATH.
#include "status_dump.h"

#include <limits.h>
#include <string.h>

// The shell splits an unquoted path with blanks into several words; joined by
// single blanks they name the one report file again. Without words the path
// is empty and fails to open.
int main(int argc, char **argv)
{
    char path[PATH_MAX];
    size_t used = 0;
    for (int i = 1; i < argc; ++i) {
        const size_t length = strlen(argv[i]);
        const size_t separator = i > 1 ? 1 : 0;
        // A path this long is refused by the system anyway; cutting it short
        // would name another file.
        if (used + separator + length >= sizeof path)
            return 0;
        if (separator)
            path[used++] = ' ';
        memcpy(path + used, argv[i], length);
        used += length;
    }
    path[used] = '\0';

    dump_status(path);
    return 0;
}
