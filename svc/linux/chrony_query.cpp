#include "chrony_protocol.h"
#include "udp_exchange.h"

#include <sys/socket.h>
#include <unistd.h>

namespace
{

// chronyd keeps a few sources as a rule; past this many only the first are
// asked about, so that a daemon with a huge list cannot hold us for long.
// Whether any source is reachable is then judged by those first ones.
const uint32_t most_sources_asked = 256;

// chronyd binds its command port to 127.0.0.1 and ::1; the first is asked first.
const int loopback_families[] = {AF_INET, AF_INET6};

// The reply that the current request waits for.
struct awaited_reply {
    chrony_command command;
    uint32_t sequence;
};

// Accepts only a reply that the decoder of the awaited answer takes whole, so
// that a datagram with a field out of range is passed over like a stranger.
bool is_awaited_reply(const uint8_t *reply, size_t length, const void *context)
{
    const awaited_reply *awaited = static_cast<const awaited_reply *>(context);
    leap_indicator leap;
    uint32_t count;
    uint8_t reachability;
    switch (awaited->command) {
    case chrony_tracking:
        return chrony_decode_tracking(reply, length, awaited->sequence, &leap);
    case chrony_n_sources:
        return chrony_decode_n_sources(reply, length, awaited->sequence, &count);
    case chrony_source_data:
        return chrony_decode_source_data(reply, length, awaited->sequence, &reachability);
    }
    return false;
}

// Sends one request over fd and waits for its reply, which lands in reply.
exchange_result ask(int fd, chrony_command command, uint32_t sequence, uint32_t index,
                    uint8_t *reply, size_t *reply_length)
{
    uint8_t request[chrony_request_capacity];
    const size_t request_length =
        chrony_encode_request(command, sequence, index, request, sizeof request);
    if (request_length == 0)
        return exchange_silent;
    const awaited_reply awaited = {command, sequence};
    return udp_exchange(fd, request, request_length, reply, chrony_reply_capacity, reply_length,
                        is_awaited_reply, &awaited);
}

// Asks for the tracking on 127.0.0.1, then on ::1 when the first is refused.
// On success returns the socket that answered, for the requests that follow.
int ask_tracking(uint32_t sequence, leap_indicator *leap)
{
    uint8_t reply[chrony_reply_capacity];
    size_t length = 0;
    for (const int family : loopback_families) {
        const int fd = udp_open_loopback(family, chrony_command_port);
        if (fd < 0)
            continue;
        const exchange_result result = ask(fd, chrony_tracking, sequence, 0, reply, &length);
        if (result == exchange_answered && chrony_decode_tracking(reply, length, sequence, leap))
            return fd;
        close(fd);
        // A chronyd that holds the port but gives no fitting answer is not
        // asked again on the other address.
        if (result != exchange_refused)
            return -1;
    }
    return -1;
}

// Asks chronyd over fd whether any of its sources is reachable; false when a
// request has no fitting answer.
bool ask_sources(int fd, uint32_t sequence, bool *reachable)
{
    uint8_t reply[chrony_reply_capacity];
    size_t length = 0;
    uint32_t count = 0;
    if (ask(fd, chrony_n_sources, sequence, 0, reply, &length) != exchange_answered ||
        !chrony_decode_n_sources(reply, length, sequence, &count))
        return false;
    if (count > most_sources_asked)
        count = most_sources_asked;

    // One reachable source settles the question; the rest need not be asked.
    *reachable = false;
    for (uint32_t index = 0; index < count && !*reachable; ++index) {
        const uint32_t source_sequence = sequence + 1 + index;
        uint8_t reachability = 0;
        if (ask(fd, chrony_source_data, source_sequence, index, reply, &length) !=
                exchange_answered ||
            !chrony_decode_source_data(reply, length, source_sequence, &reachability))
            return false;
        *reachable = reachability != 0;
    }
    return true;
}

} // namespace

bool ask_chronyd(daemon_view &view)
{
    const uint32_t sequence = fresh_request_sequence();
    leap_indicator leap = leap_unsynchronised;
    const int fd = ask_tracking(sequence, &leap);
    if (fd < 0)
        return false;
    bool reachable = false;
    const bool answered = ask_sources(fd, sequence + 1, &reachable);
    close(fd);
    // An answer to the tracking alone is no answer: the view is whole or not
    // given at all.
    if (!answered)
        return false;

    view.presence = daemon_answered;
    view.source_reachable = reachable;
    view.synchronised = leap != leap_unsynchronised;
    view.leap = leap;
    return true;
}
