// The native program: tvkdmpst PATH writes the status report to PATH.
#include "status_dump.h"

#include <limits.h>

// The shell splits an unquoted path with blanks into several words; joined by
// single blanks they name the one report file again. Without words the path
// is empty and fails to open.
//
// The words are copied byte by byte: a path is short, and the first call of
// each C library function costs the run a symbol lookup, far more than the
// copy itself.
int main(int argc, char **argv)
{
    char path[PATH_MAX];
    size_t used = 0;
    for (int i = 1; i < argc && used < sizeof path; ++i) {
        if (i > 1)
            path[used++] = ' ';
        for (const char *byte = argv[i]; *byte != '\0' && used < sizeof path; ++byte)
            path[used++] = *byte;
    }
    // A path this long is refused by the system anyway; cutting it short
    // would name another file.
    if (used >= sizeof path)
        return 0;
    path[used] = '\0';

    dump_status(path);
    return 0;
}
