// Saves and puts back the kernel's clock-discipline state, so that the tests
// that let a real time daemon steer the clock leave the kernel as they found
// it. Usage:
//   clock_discipline save FILE     the state now, as text, to FILE
//   clock_discipline restore FILE  the state in FILE back, any slew cancelled
//   clock_discipline unsync        the state of a clock that nobody steers
//   clock_discipline sync          the state a daemon leaves as it synchronises
//   clock_discipline show          the state now, on standard output
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timex.h>

namespace
{

// The parts of the kernel's state that a time daemon sets and that stay put
// until someone sets them again. The maximum error grows by itself, so it is
// put back but not compared afterwards.
struct discipline {
    long status;
    long maxerror;
    long esterror;
    long frequency;
    long constant;
    long tick;
    long tai;
};

struct field {
    const char *name;
    long discipline::*value;
    bool stays; // keeps its value until it is set again
};

const field fields[] = {
    {"status", &discipline::status, true},     {"maxerror", &discipline::maxerror, false},
    {"esterror", &discipline::esterror, true}, {"frequency", &discipline::frequency, true},
    {"constant", &discipline::constant, true}, {"tick", &discipline::tick, true},
    {"tai", &discipline::tai, true},
};

// The kernel's bound on the maximum error; the kernel's own value for a clock
// that has never been synchronised (NTP_PHASE_LIMIT).
const long unsynchronised_maxerror = 16000000;

// The error bounds of a clock that a daemon has just synchronised to a
// server on the same machine, in microseconds.
const long synchronised_maxerror = 1000;
const long synchronised_esterror = 100;

// Calls adjtimex and reports a failure under what, for the caller to stop.
bool call_adjtimex(struct timex &state, const char *what)
{
    if (adjtimex(&state) < 0) {
        fprintf(stderr, "clock_discipline: adjtimex (%s): %s\n", what, strerror(errno));
        return false;
    }
    return true;
}

// Reads the kernel's state without changing it.
bool read_discipline(discipline &now)
{
    struct timex state = {};
    if (!call_adjtimex(state, "read"))
        return false;
    now.status = state.status;
    now.maxerror = state.maxerror;
    now.esterror = state.esterror;
    now.frequency = state.freq;
    now.constant = state.constant;
    now.tick = state.tick;
    now.tai = state.tai;
    return true;
}

// Writes the state as lines of "name value".
void print_discipline(FILE *out, const discipline &state)
{
    for (const field &f : fields)
        fprintf(out, "%s %ld\n", f.name, state.*f.value);
}

// Reads back what print_discipline wrote: every field once, in its order, as
// "name value" on a line of its own, and nothing else.
bool parse_discipline(FILE *in, discipline &state)
{
    for (const field &f : fields) {
        char line[64];
        if (fgets(line, sizeof line, in) == nullptr)
            return false;
        const size_t name_length = strlen(f.name);
        if (strncmp(line, f.name, name_length) != 0 || line[name_length] != ' ')
            return false;
        const char *number = line + name_length + 1;
        char *end = nullptr;
        errno = 0;
        const long value = strtol(number, &end, 10);
        if (errno != 0 || end == number || strcmp(end, "\n") != 0)
            return false;
        state.*f.value = value;
    }
    return fgetc(in) == EOF;
}

// Cancels any correction of the clock's offset that is still in progress,
// both the old adjtime() slew and the kernel PLL's, so that nothing moves
// the clock after the state is put back.
bool cancel_slew()
{
    struct timex single_shot = {};
    single_shot.modes = ADJ_OFFSET_SINGLESHOT;
    if (!call_adjtimex(single_shot, "cancel adjtime slew"))
        return false;
    // The PLL takes a new offset only while it is on; zero replaces the rest.
    struct timex current = {};
    if (!call_adjtimex(current, "read"))
        return false;
    struct timex pll = {};
    pll.modes = ADJ_STATUS | ADJ_OFFSET;
    pll.status = STA_PLL | (current.status & ~STA_RONLY);
    pll.offset = 0;
    return call_adjtimex(pll, "cancel PLL offset");
}

// Sets every field of the state. The time constant goes in nanosecond mode,
// where the kernel keeps it as given (in microsecond mode it adds 4), and the
// TAI offset in a call of its own, since both travel in timex.constant; the
// last call sets the resolution the state had.
bool write_discipline(const discipline &state)
{
    if (!cancel_slew())
        return false;
    struct timex constant = {};
    constant.modes = ADJ_NANO | ADJ_TIMECONST;
    constant.constant = state.constant;
    struct timex tai = {};
    tai.modes = ADJ_TAI;
    tai.constant = state.tai;
    struct timex all = {};
    all.modes = ADJ_STATUS | ADJ_MAXERROR | ADJ_ESTERROR | ADJ_FREQUENCY | ADJ_TICK |
                ((state.status & STA_NANO) != 0 ? ADJ_NANO : ADJ_MICRO);
    all.status = static_cast<int>(state.status);
    all.maxerror = state.maxerror;
    all.esterror = state.esterror;
    all.freq = state.frequency;
    all.tick = state.tick;
    return call_adjtimex(constant, "restore time constant") &&
           call_adjtimex(tai, "restore TAI offset") && call_adjtimex(all, "restore");
}

// Checks that the kernel now holds what was written; a kernel that silently
// refused a value would otherwise go unnoticed.
bool verify_discipline(const discipline &wanted)
{
    discipline now;
    if (!read_discipline(now))
        return false;
    bool same = true;
    for (const field &f : fields)
        if (f.stays && now.*f.value != wanted.*f.value) {
            fprintf(stderr, "clock_discipline: %s is %ld, not %ld\n", f.name, now.*f.value,
                    wanted.*f.value);
            same = false;
        }
    return same;
}

int save(const char *path)
{
    discipline now;
    if (!read_discipline(now))
        return 1;
    FILE *out = fopen(path, "w");
    if (out == nullptr) {
        fprintf(stderr, "clock_discipline: %s: %s\n", path, strerror(errno));
        return 1;
    }
    print_discipline(out, now);
    return fclose(out) == 0 ? 0 : 1;
}

int restore(const char *path)
{
    FILE *in = fopen(path, "r");
    if (in == nullptr) {
        fprintf(stderr, "clock_discipline: %s: %s\n", path, strerror(errno));
        return 1;
    }
    discipline saved;
    const bool parsed = parse_discipline(in, saved);
    fclose(in);
    if (!parsed) {
        fprintf(stderr, "clock_discipline: %s does not hold a saved state\n", path);
        return 1;
    }
    return write_discipline(saved) && verify_discipline(saved) ? 0 : 1;
}

// Leaves the frequency, tick and TAI offset alone and makes the kernel say
// what it says of a clock that nobody has synchronised.
int make_unsynchronised()
{
    discipline state;
    if (!read_discipline(state))
        return 1;
    state.status = STA_UNSYNC | (state.status & STA_NANO);
    state.maxerror = unsynchronised_maxerror;
    state.esterror = unsynchronised_maxerror;
    return write_discipline(state) && verify_discipline(state) ? 0 : 1;
}

// Leaves the frequency, tick and TAI offset alone and makes the kernel say
// what it says of a clock that a daemon has just synchronised, as if one did.
int make_synchronised()
{
    discipline state;
    if (!read_discipline(state))
        return 1;
    state.status = state.status & STA_NANO;
    state.maxerror = synchronised_maxerror;
    state.esterror = synchronised_esterror;
    return write_discipline(state) && verify_discipline(state) ? 0 : 1;
}

int show()
{
    discipline now;
    if (!read_discipline(now))
        return 1;
    print_discipline(stdout, now);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "save") == 0)
        return save(argv[2]);
    if (argc == 3 && strcmp(argv[1], "restore") == 0)
        return restore(argv[2]);
    if (argc == 2 && strcmp(argv[1], "unsync") == 0)
        return make_unsynchronised();
    if (argc == 2 && strcmp(argv[1], "sync") == 0)
        return make_synchronised();
    if (argc == 2 && strcmp(argv[1], "show") == 0)
        return show();
    fprintf(stderr, "usage: clock_discipline save FILE | restore FILE | unsync | sync | show\n");
    return 2;
}
