#include "process_scan.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace
{

// The programs of the time daemons, by the name of their file.
const struct {
    const char *name;
    time_daemon_kind kind;
} time_daemon_names[] = {
    {"chronyd", daemon_chronyd},
    {"ntpd", daemon_ntpd},
    {"systemd-timesyncd", daemon_timesyncd},
    {"openntpd", daemon_unaskable},
    {"ptp4l", daemon_unaskable},
    {"phc2sys", daemon_unaskable},
    {"ts2phc", daemon_unaskable},
    {"timemaster", daemon_unaskable},
    {"ntp-daemon", daemon_unaskable},
};

// The kernel keeps a process's name cut to this many bytes.
const size_t process_name_length = 15;

bool all_digits(const char *text)
{
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text)
        if (*text < '0' || *text > '9')
            return false;
    return true;
}

// Puts "pid/leaf" into path, which holds a directory entry's name and more.
// By hand: formatting costs more than the look-up, done for every process.
void process_path(const char *pid, const char *leaf, char (&path)[sizeof(dirent::d_name) + 8])
{
    const size_t pid_length = strnlen(pid, sizeof(dirent::d_name) - 1);
    memcpy(path, pid, pid_length);
    path[pid_length] = '/';
    memcpy(path + pid_length + 1, leaf, strlen(leaf) + 1);
}

// Reads the file dir/pid/leaf into text, cut to capacity; its length or -1.
ssize_t read_process_file(int dir, const char *pid, const char *leaf, char *text, size_t capacity)
{
    char path[sizeof(dirent::d_name) + 8];
    process_path(pid, leaf, path);
    const int fd = openat(dir, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const ssize_t got = read(fd, text, capacity);
    close(fd);
    return got;
}

// The kind of time daemon process pid runs by the link to its program, or
// -1; false when the link cannot be read. It is missing for kernel threads
// and ended processes, most of a machine's.
bool kind_by_program(int dir, const char *pid, int *kind)
{
    char path[sizeof(dirent::d_name) + 8];
    process_path(pid, "exe", path);
    char program[4096];
    const ssize_t linked = readlinkat(dir, path, program, sizeof program - 1);
    if (linked < 0) {
        *kind = -1;
        return errno == ENOENT;
    }
    program[linked] = '\0';
    // A program replaced by an upgrade while it runs is still that one.
    const char deleted[] = " (deleted)";
    const size_t length = static_cast<size_t>(linked);
    if (length >= sizeof deleted && strcmp(program + length - (sizeof deleted - 1), deleted) == 0)
        program[length - (sizeof deleted - 1)] = '\0';
    const char *slash = strrchr(program, '/');
    *kind = time_daemon_kind_of(slash != nullptr ? slash + 1 : program);
    return true;
}

// Reads and parses dir/pid/stat; false when it cannot be read or parsed.
bool read_stat_at(int dir, const char *pid, process_stat *stat)
{
    char text[512];
    const ssize_t length = read_process_file(dir, pid, "stat", text, sizeof text);
    return length > 0 && parse_process_stat(text, static_cast<size_t>(length), stat);
}

// The kind of time daemon process pid runs by its name and state, or -1.
int kind_by_name(int dir, const char *pid)
{
    // The short comm file first; the stat file only for a time daemon.
    char name[process_name_length + 2];
    const ssize_t got = read_process_file(dir, pid, "comm", name, sizeof name - 1);
    if (got <= 0)
        return -1;
    name[got] = '\0';
    name[strcspn(name, "\n")] = '\0';
    const int kind = time_daemon_kind_of(name);
    if (kind < 0)
        return -1;
    process_stat stat;
    // A daemon that has ended but is not yet reaped serves nobody.
    if (!read_stat_at(dir, pid, &stat) || stat.state == 'Z' || stat.state == 'X')
        return -1;
    return kind;
}

} // namespace

bool read_process_stat(const char *proc_dir, int pid, process_stat *stat)
{
    const int dir = open(proc_dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    char pid_text[16];
    snprintf(pid_text, sizeof pid_text, "%d", pid);
    const bool read = read_stat_at(dir, pid_text, stat);
    close(dir);
    return read;
}

int time_daemon_kind_of(const char *name)
{
    // A program's file name, or a process name, which may be cut short.
    const bool cut = strlen(name) == process_name_length;
    for (const auto &row : time_daemon_names)
        if (strcmp(name, row.name) == 0 ||
            (cut && strncmp(name, row.name, process_name_length) == 0))
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
    // Only root may read the link to every process's program, which answers
    // in one call where the name and state take up to six; anyone else gets
    // nothing from it for another user's process and reads the names.
    const bool by_program = geteuid() == 0;
    DIR *dir = opendir(proc_dir);
    if (dir == nullptr)
        return found;
    while (const struct dirent *entry = readdir(dir)) {
        if (!all_digits(entry->d_name))
            continue;
        int kind = -1;
        if (!by_program || !kind_by_program(dirfd(dir), entry->d_name, &kind))
            kind = kind_by_name(dirfd(dir), entry->d_name);
        if (kind >= 0)
            found.pid[kind] = static_cast<int>(strtol(entry->d_name, nullptr, 10));
    }
    closedir(dir);
    return found;
}
