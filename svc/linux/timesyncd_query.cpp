// Asking systemd-timesyncd: its properties on the system bus through
// libsystemd's sd-bus, loaded only now that timesyncd is known to run, or
// else its synchronized file.
#include "process_scan.h"
#include "timesyncd_state.h"
#include "udp_exchange.h"

#include <systemd/sd-bus.h>

#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace
{

const char timesyncd_bus_name[] = "org.freedesktop.timesync1";
const char synchronized_file[] = "/run/systemd/timesync/synchronized";

// The bus gets as long to answer each call as a daemon on its port.
const uint64_t bus_call_timeout_us = daemon_answer_timeout_ms * 1000ULL;

// The sd-bus functions this library calls, each typed by its prototype.
struct sd_bus_api {
    decltype(&::sd_bus_new) sd_bus_new;
    decltype(&::sd_bus_set_address) sd_bus_set_address;
    decltype(&::sd_bus_set_bus_client) sd_bus_set_bus_client;
    decltype(&::sd_bus_set_method_call_timeout) sd_bus_set_method_call_timeout;
    decltype(&::sd_bus_start) sd_bus_start;
    decltype(&::sd_bus_close_unref) sd_bus_close_unref;
    decltype(&::sd_bus_process) sd_bus_process;
    decltype(&::sd_bus_wait) sd_bus_wait;
    decltype(&::sd_bus_call_async) sd_bus_call_async;
    decltype(&::sd_bus_slot_unref) sd_bus_slot_unref;
    decltype(&::sd_bus_message_new_method_call) sd_bus_message_new_method_call;
    decltype(&::sd_bus_message_set_auto_start) sd_bus_message_set_auto_start;
    decltype(&::sd_bus_message_append) sd_bus_message_append;
    decltype(&::sd_bus_message_ref) sd_bus_message_ref;
    decltype(&::sd_bus_message_unref) sd_bus_message_unref;
    decltype(&::sd_bus_message_is_method_error) sd_bus_message_is_method_error;
    decltype(&::sd_bus_message_read) sd_bus_message_read;
    decltype(&::sd_bus_message_read_array) sd_bus_message_read_array;
    decltype(&::sd_bus_message_enter_container) sd_bus_message_enter_container;
    decltype(&::sd_bus_message_exit_container) sd_bus_message_exit_container;
    decltype(&::sd_bus_message_skip) sd_bus_message_skip;
};

// Looks up name in library as a function of the type of function.
template <typename Function> bool look_up(void *library, const char *name, Function &function)
{
    void *symbol = dlsym(library, name);
    function = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}

// Fills api from library; false when any function is missing.
bool look_up_sd_bus(void *library, sd_bus_api &api)
{
#define TVK_LOOK_UP(name) look_up(library, #name, api.name)
    return TVK_LOOK_UP(sd_bus_new) && TVK_LOOK_UP(sd_bus_set_address) &&
           TVK_LOOK_UP(sd_bus_set_bus_client) && TVK_LOOK_UP(sd_bus_set_method_call_timeout) &&
           TVK_LOOK_UP(sd_bus_start) && TVK_LOOK_UP(sd_bus_close_unref) &&
           TVK_LOOK_UP(sd_bus_process) && TVK_LOOK_UP(sd_bus_wait) &&
           TVK_LOOK_UP(sd_bus_call_async) && TVK_LOOK_UP(sd_bus_slot_unref) &&
           TVK_LOOK_UP(sd_bus_message_new_method_call) &&
           TVK_LOOK_UP(sd_bus_message_set_auto_start) && TVK_LOOK_UP(sd_bus_message_append) &&
           TVK_LOOK_UP(sd_bus_message_ref) && TVK_LOOK_UP(sd_bus_message_unref) &&
           TVK_LOOK_UP(sd_bus_message_is_method_error) && TVK_LOOK_UP(sd_bus_message_read) &&
           TVK_LOOK_UP(sd_bus_message_read_array) && TVK_LOOK_UP(sd_bus_message_enter_container) &&
           TVK_LOOK_UP(sd_bus_message_exit_container) && TVK_LOOK_UP(sd_bus_message_skip);
#undef TVK_LOOK_UP
}

// Microseconds on clock now.
int64_t clock_us(clockid_t clock)
{
    struct timespec now = {};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// One method call awaiting its reply.
struct pending_call {
    const sd_bus_api *api;
    sd_bus_message *reply; // a method return, held; null otherwise
    bool done;
};

// Keeps the reply to a pending call, unless it is an error.
int take_reply(sd_bus_message *reply, void *userdata, sd_bus_error * /*error*/)
{
    pending_call &call = *static_cast<pending_call *>(userdata);
    call.done = true;
    if (call.api->sd_bus_message_is_method_error(reply, nullptr) == 0)
        call.reply = call.api->sd_bus_message_ref(reply);
    return 1;
}

// Sends the method call and works the connection, from its authentication
// on, until the reply comes or the time is up: sd-bus's own calls would
// wait for the bus's authentication without bound. The reply, which the
// caller unrefs, or null.
sd_bus_message *call_bounded(const sd_bus_api &api, sd_bus *bus, sd_bus_message *call)
{
    pending_call pending = {&api, nullptr, false};
    sd_bus_slot *slot = nullptr;
    if (api.sd_bus_call_async(bus, &slot, call, take_reply, &pending, bus_call_timeout_us) < 0)
        return nullptr;
    const int64_t deadline = clock_us(CLOCK_MONOTONIC) + static_cast<int64_t>(bus_call_timeout_us);
    // The time is checked before every step, so that a stream of other
    // messages cannot hold the loop past it.
    while (!pending.done) {
        const int64_t left = deadline - clock_us(CLOCK_MONOTONIC);
        if (left <= 0)
            break;
        const int processed = api.sd_bus_process(bus, nullptr);
        if (processed < 0 ||
            (processed == 0 && api.sd_bus_wait(bus, static_cast<uint64_t>(left)) < 0))
            break;
    }
    api.sd_bus_slot_unref(slot);
    return pending.reply;
}

// Whether timesyncd's name has an owner on the bus, asked so that the bus
// does not start timesyncd for the question: 1 yes, 0 no, -1 unknown.
int timesyncd_owns_name(const sd_bus_api &api, sd_bus *bus)
{
    sd_bus_message *call = nullptr;
    if (api.sd_bus_message_new_method_call(bus, &call, "org.freedesktop.DBus",
                                           "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                           "NameHasOwner") < 0)
        return -1;
    sd_bus_message *reply = nullptr;
    if (api.sd_bus_message_append(call, "s", timesyncd_bus_name) >= 0)
        reply = call_bounded(api, bus, call);
    api.sd_bus_message_unref(call);
    if (reply == nullptr)
        return -1;
    int owned = 0;
    const int read = api.sd_bus_message_read(reply, "b", &owned);
    api.sd_bus_message_unref(reply);
    if (read <= 0)
        return -1;
    return owned != 0 ? 1 : 0;
}

// Reads the NTPMessage struct, the variant already entered.
bool read_ntp_message(const sd_bus_api &api, sd_bus_message *reply, timesyncd_ntp_message &message)
{
    uint32_t version = 0;
    uint32_t mode = 0;
    uint32_t stratum = 0;
    int32_t precision = 0;
    uint64_t root_delay = 0;
    uint64_t root_dispersion = 0;
    uint64_t jitter = 0;
    const void *reference = nullptr;
    size_t reference_length = 0;
    int spike = 0;
    if (api.sd_bus_message_enter_container(reply, SD_BUS_TYPE_STRUCT, "uuuuittayttttbtt") <= 0 ||
        api.sd_bus_message_read(reply, "uuuuitt", &message.leap, &version, &mode, &stratum,
                                &precision, &root_delay, &root_dispersion) <= 0 ||
        api.sd_bus_message_read_array(reply, 'y', &reference, &reference_length) < 0 ||
        api.sd_bus_message_read(reply, "ttttbtt", &message.origin_us, &message.receive_us,
                                &message.transmit_us, &message.destination_us, &spike,
                                &message.packet_count, &jitter) <= 0 ||
        api.sd_bus_message_exit_container(reply) < 0)
        return false;
    message.spike = spike != 0;
    return true;
}

// Takes NTPMessage and PollIntervalUSec from the reply to GetAll, each of
// its own type and once; false when either is missing or malformed.
bool read_manager_properties(const sd_bus_api &api, sd_bus_message *reply, timesyncd_facts &facts)
{
    if (api.sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "{sv}") <= 0)
        return false;
    bool have_message = false;
    bool have_poll = false;
    int entered;
    while ((entered = api.sd_bus_message_enter_container(reply, SD_BUS_TYPE_DICT_ENTRY, "sv")) >
           0) {
        const char *name = nullptr;
        if (api.sd_bus_message_read(reply, "s", &name) <= 0)
            return false;
        if (strcmp(name, "NTPMessage") == 0) {
            if (have_message ||
                api.sd_bus_message_enter_container(reply, SD_BUS_TYPE_VARIANT,
                                                   "(uuuuittayttttbtt)") <= 0 ||
                !read_ntp_message(api, reply, facts.message) ||
                api.sd_bus_message_exit_container(reply) < 0)
                return false;
            have_message = true;
        } else if (strcmp(name, "PollIntervalUSec") == 0) {
            if (have_poll || api.sd_bus_message_read(reply, "v", "t", &facts.poll_interval_us) <= 0)
                return false;
            have_poll = true;
        } else if (api.sd_bus_message_skip(reply, "v") < 0) {
            return false;
        }
        if (api.sd_bus_message_exit_container(reply) < 0)
            return false;
    }
    return entered == 0 && api.sd_bus_message_exit_container(reply) >= 0 && have_message &&
           have_poll;
}

// Reads timesyncd's manager properties, without starting timesyncd should
// its name have lost its owner since.
bool read_timesyncd_properties(const sd_bus_api &api, sd_bus *bus, timesyncd_facts &facts)
{
    sd_bus_message *call = nullptr;
    if (api.sd_bus_message_new_method_call(bus, &call, timesyncd_bus_name,
                                           "/org/freedesktop/timesync1",
                                           "org.freedesktop.DBus.Properties", "GetAll") < 0)
        return false;
    sd_bus_message *reply = nullptr;
    if (api.sd_bus_message_set_auto_start(call, 0) >= 0 &&
        api.sd_bus_message_append(call, "s", "org.freedesktop.timesync1.Manager") >= 0)
        reply = call_bounded(api, bus, call);
    api.sd_bus_message_unref(call);
    if (reply == nullptr)
        return false;
    const bool read = read_manager_properties(api, reply, facts);
    api.sd_bus_message_unref(reply);
    return read;
}

enum bus_answer {
    bus_unavailable, // no bus, or timesyncd not on it: it runs standalone
    bus_no_answer,   // timesyncd holds its name but gave no valid answer
    bus_answered,    // the bus fields of facts are filled in
};

// Asks timesyncd on the system bus through api.
bus_answer ask_on_bus(const sd_bus_api &api, timesyncd_facts &facts)
{
    // The bus is set up by hand rather than by sd_bus_open_system, so that
    // the short timeout holds from the first message, the bus's Hello, on.
    sd_bus *bus = nullptr;
    if (api.sd_bus_new(&bus) < 0)
        return bus_unavailable;
    const char *address = secure_getenv("DBUS_SYSTEM_BUS_ADDRESS");
    bus_answer answer = bus_unavailable;
    if (api.sd_bus_set_address(
            bus, address != nullptr ? address : "unix:path=/run/dbus/system_bus_socket") >= 0 &&
        api.sd_bus_set_bus_client(bus, 1) >= 0 &&
        api.sd_bus_set_method_call_timeout(bus, bus_call_timeout_us) >= 0 &&
        api.sd_bus_start(bus) >= 0 && timesyncd_owns_name(api, bus) == 1) {
        answer = read_timesyncd_properties(api, bus, facts) ? bus_answered : bus_no_answer;
    }
    // Nothing is left to send, so the connection is closed without a flush,
    // which could wait on a stuck bus.
    api.sd_bus_close_unref(bus);
    return answer;
}

// Asks timesyncd on the system bus, with libsystemd loaded for the question
// and unloaded after it.
bus_answer ask_on_bus(timesyncd_facts &facts)
{
    void *library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return bus_unavailable;
    sd_bus_api api;
    const bus_answer answer =
        look_up_sd_bus(library, api) ? ask_on_bus(api, facts) : bus_unavailable;
    dlclose(library);
    if (answer == bus_answered) {
        facts.on_bus = true;
        facts.now_us = clock_us(CLOCK_REALTIME);
    }
    return answer;
}

// Reads the synchronized file and the start of timesyncd's process pid.
bool read_file_facts(int pid, timesyncd_facts &facts)
{
    process_stat process;
    // The process id may have passed to another program since the scan.
    if (!read_process_stat("/proc", pid, &process) ||
        time_daemon_kind_of(process.name) != daemon_timesyncd)
        return false;

    struct stat file;
    facts.on_bus = false;
    facts.file_exists = stat(synchronized_file, &file) == 0 && S_ISREG(file.st_mode);
    if (facts.file_exists)
        facts.file_mtime_us =
            static_cast<int64_t>(file.st_mtim.tv_sec) * 1000000 + file.st_mtim.tv_nsec / 1000;
    facts.process_start_ticks = process.start_time;
    facts.ticks_per_second = sysconf(_SC_CLK_TCK);
    facts.now_us = clock_us(CLOCK_REALTIME);
    facts.boot_clock_us = clock_us(CLOCK_BOOTTIME);
    return true;
}

} // namespace

bool ask_timesyncd(int pid, daemon_view &view)
{
    timesyncd_facts facts = {};
    switch (ask_on_bus(facts)) {
    case bus_answered:
        break;
    case bus_no_answer:
        return false;
    case bus_unavailable:
        if (!read_file_facts(pid, facts))
            return false;
        break;
    }
    return timesyncd_view(facts, view);
}
