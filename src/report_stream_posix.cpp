#include "status_dump.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

// POSIX streams have no text mode; a cookie stream over the file descriptor
// gives the same bytes as on Windows: the stream's buffer collects the report
// and each flush stores it with every line feed turned into CR LF.

static int descriptor_of(void *cookie)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(cookie));
}

static bool write_all(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

static ssize_t write_text(void *cookie, const char *data, size_t size)
{
    // Every input byte takes at most two output bytes, so a flush of up to
    // half this buffer goes to the file in a single write.
    char out[8192];
    size_t used = 0;
    for (size_t i = 0; i < size; ++i) {
        if (used + 2 > sizeof out) {
            if (!write_all(descriptor_of(cookie), out, used))
                return -1;
            used = 0;
        }
        if (data[i] == '\n')
            out[used++] = '\r';
        out[used++] = data[i];
    }
    if (!write_all(descriptor_of(cookie), out, used))
        return -1;
    return static_cast<ssize_t>(size);
}

static int close_text(void *cookie)
{
    return close(descriptor_of(cookie));
}

FILE *open_report_stream(const char *path)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    const cookie_io_functions_t text_io = {nullptr, write_text, nullptr, close_text};
    // The cookie carries the descriptor itself and is never used as a pointer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    FILE *stream = fopencookie(reinterpret_cast<void *>(static_cast<intptr_t>(fd)), "w", text_io);
    if (stream == nullptr)
        close(fd);
    return stream;
}
