// The native floor again, but with its bytes formatted into a buffered
// stream of the kind tvkdmpst writes to: a cookie stream over the file
// descriptor, filled by fprintf and stored by fclose in one write. Not a
// target; it shows what the C library's stream and formatting code costs by
// itself.
#define _GNU_SOURCE
#include "report_texts.h"
#include "tvksvcio.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

static const char report[] = REPORT_ACTIVE_UTC_UNSYNCED;

static ssize_t write_bytes(void *cookie, const char *data, size_t size)
{
    return write((int)(intptr_t)cookie, data, size);
}

static int close_file(void *cookie)
{
    return close((int)(intptr_t)cookie);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 0;
    tvk_time_adjustment_active();
    const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return 0;
    const cookie_io_functions_t io = {NULL, write_bytes, NULL, close_file};
    FILE *stream = fopencookie((void *)(intptr_t)fd, "w", io);
    if (stream == NULL) {
        close(fd);
        return 0;
    }
    fprintf(stream, "%.*s", (int)(sizeof report - 1), report);
    fclose(stream);
    return 0;
}
