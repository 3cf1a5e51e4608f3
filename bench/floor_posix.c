// The least a native run of this job can do: ask the service library once,
// then put the report's bytes into the file with one open, one write and one
// close. The benchmark measures tvkdmpst against it.
#include "report_texts.h"
#include "tvksvcio.h"

#include <fcntl.h>
#include <unistd.h>

static const char report[] = REPORT_ACTIVE_UTC_UNSYNCED;

int main(int argc, char **argv)
{
    if (argc < 2)
        return 0;
    tvk_time_adjustment_active();
    const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return 0;
    const ssize_t written = write(fd, report, sizeof report - 1);
    (void)written;
    close(fd);
    return 0;
}
