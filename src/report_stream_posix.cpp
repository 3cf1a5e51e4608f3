#include "status_dump.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
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

// Copies size bytes of text to out with every line feed turned into CR LF and
// returns the number of bytes stored; out has room for twice size. The text
// is taken eight bytes at a time, and a word without a line feed is stored
// whole: a report line is a few words long and has one line feed at its end.
static size_t expand_line_feeds(const char *text, size_t size, char *out)
{
    const uint64_t ones = 0x0101010101010101u;
    const uint64_t line_feeds = ones * '\n';
    size_t used = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, text + i, 8);
        // Zero in each byte that is a line feed; the test below is non-zero
        // exactly when some byte of the word is zero.
        const uint64_t marked = word ^ line_feeds;
        if (((marked - ones) & ~marked & (ones << 7)) == 0) {
            memcpy(out + used, &word, 8);
            used += 8;
            continue;
        }
        for (size_t j = i; j < i + 8; ++j) {
            if (text[j] == '\n')
                out[used++] = '\r';
            out[used++] = text[j];
        }
    }
    for (; i < size; ++i) {
        if (text[i] == '\n')
            out[used++] = '\r';
        out[used++] = text[i];
    }
    return used;
}

static ssize_t write_text(void *cookie, const char *data, size_t size)
{
    // Every input byte takes at most two output bytes, so a flush of up to
    // half this buffer goes to the file in a single write.
    char out[8192];
    for (size_t done = 0; done < size;) {
        const size_t part = size - done < sizeof out / 2 ? size - done : sizeof out / 2;
        if (!write_all(descriptor_of(cookie), out, expand_line_feeds(data + done, part, out)))
            return -1;
        done += part;
    }
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
