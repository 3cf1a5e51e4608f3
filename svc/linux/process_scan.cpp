#include "process_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace
{

// Process names as the kernel keeps them: cut to 15 bytes.
const struct {
    const char *name;
    time_daemon_kind kind;
} time_daemon_names[] = {
    {"chronyd", daemon_chronyd},           {"ntpd", daemon_ntpd},
    {"systemd-timesyn", daemon_timesyncd}, {"ptp4l", daemon_unaskable},
    {"phc2sys", daemon_unaskable},         {"ts2phc", daemon_unaskable},
    {"timemaster", daemon_unaskable},      {"ntp-daemon", daemon_unaskable},
};

bool all_digits(const char *text)
{
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text)
        if (*text < '0' || *text > '9')
            return false;
    return true;
}

// Reads the file dir/pid/leaf into text, cut to capacity; its length or -1.
ssize_t read_process_file(int dir, const char *pid, const char *leaf, char *text, size_t capacity)
{
    // Put together by hand: formatting the path costs more than reading the
    // file, and the scan does it for every process on the machine.
    char path[sizeof(dirent::d_name) + 8];
    const size_t pid_length = strnlen(pid, sizeof(dirent::d_name));
    const size_t leaf_length = strlen(leaf);
    memcpy(path, pid, pid_length);
    path[pid_length] = '/';
    memcpy(path + pid_length + 1, leaf, leaf_length + 1);
    const int fd = openat(dir, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const ssize_t got = read(fd, text, capacity);
    close(fd);
    return got;
}

} // namespace

int time_daemon_kind_of(const char *name)
{
    for (const auto &row : time_daemon_names)
        if (strcmp(name, row.name) == 0)
            return row.kind;
    return -1;
}

bool parse_process_stat(const char *text, size_t length, process_stat *stat)
{
    // "pid (name) state ppid ...": the name may hold blanks and parentheses
    // of its own, so it ends at the last ")".
    if (length == 0)
        return false;
    const char *end = text + length;
    const char *open = static_cast<const char *>(memchr(text, '(', length));
    const char *close = nullptr;
    for (const char *p = end; p > text; --p)
        if (p[-1] == ')') {
            close = p - 1;
            break;
        }
    if (open == nullptr || close == nullptr || close < open ||
        static_cast<size_t>(close - open - 1) >= sizeof stat->name || end - close < 4 ||
        close[1] != ' ')
        return false;
    memcpy(stat->name, open + 1, static_cast<size_t>(close - open - 1));
    stat->name[close - open - 1] = '\0';
    stat->state = close[2];

    // The start time is the 22nd field, the 20th after the state.
    const char *p = close + 3;
    for (int field = 4; field <= 22; ++field) {
        p = static_cast<const char *>(memchr(p, ' ', static_cast<size_t>(end - p)));
        if (p == nullptr)
            return false;
        ++p;
    }
    char digits[24];
    size_t n = 0;
    while (p + n < end && p[n] >= '0' && p[n] <= '9' && n < sizeof digits - 1) {
        digits[n] = p[n];
        ++n;
    }
    if (n == 0 || (p + n < end && p[n] != ' ' && p[n] != '\n'))
        return false;
    digits[n] = '\0';
    stat->start_time = strtoull(digits, nullptr, 10);
    return true;
}

running_daemons scan_time_daemons(const char *proc_dir)
{
    running_daemons found = {};
    DIR *dir = opendir(proc_dir);
    if (dir == nullptr)
        return found;
    while (const struct dirent *entry = readdir(dir)) {
        if (!all_digits(entry->d_name))
            continue;
        // The short comm file first; the stat file only for a time daemon.
        char name[17];
        const ssize_t got = read_process_file(dirfd(dir), entry->d_name, "comm", name, 16);
        if (got <= 0)
            continue;
        name[got] = '\0';
        name[strcspn(name, "\n")] = '\0';
        const int kind = time_daemon_kind_of(name);
        if (kind < 0)
            continue;
        char text[512];
        const ssize_t length =
            read_process_file(dirfd(dir), entry->d_name, "stat", text, sizeof text);
        process_stat stat;
        // A daemon that has ended but is not yet reaped serves nobody.
        if (length > 0 && parse_process_stat(text, static_cast<size_t>(length), &stat) &&
            stat.state != 'Z' && stat.state != 'X')
            found.pid[kind] = static_cast<int>(strtol(entry->d_name, nullptr, 10));
    }
    closedir(dir);
    return found;
}
