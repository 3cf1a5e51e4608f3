#include "ntp_mode6.h"
#include "udp_exchange.h"

#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Room for the largest fragment ntpd sends and an authenticator after it;
// a longer datagram is passed over by the exchange.
const size_t reply_capacity = 1024;

// The reply being gathered, as the exchange hands it to the check.
struct gathering {
    readstat_assembly *assembly;
};

// Takes each datagram into the assembly; the exchange ends once the answer
// is known, and passes over datagrams that are no fitting fragment.
bool completes_answer(const uint8_t *reply, size_t length, const void *context)
{
    readstat_assembly &assembly = *static_cast<const gathering *>(context)->assembly;
    return readstat_assembly_take(assembly, reply, length) && readstat_assembly_done(assembly);
}

} // namespace

bool ask_ntpd(daemon_view &view)
{
    // ntpd takes control messages on its NTP port. OpenNTPD, and an ntpd
    // that restricts queries, keep silent there; that costs the bounded wait
    // and gives no answer.
    const int fd = udp_open_loopback(AF_INET, ntp_port);
    if (fd < 0)
        return false;

    // Mode 6 sequence numbers are 16 bits wide; ntpq never sends 0.
    const auto low_bits = static_cast<uint16_t>(fresh_request_sequence() & 0xffff);
    const uint16_t sequence = low_bits != 0 ? low_bits : 1;
    uint8_t request[readstat_request_length];
    encode_readstat_request(sequence, request);

    readstat_assembly assembly;
    readstat_assembly_start(assembly, sequence);
    const gathering context = {&assembly};
    uint8_t reply[reply_capacity];
    size_t reply_length = 0;
    const exchange_result result = udp_exchange(fd, request, sizeof request, reply, sizeof reply,
                                                &reply_length, completes_answer, &context);
    close(fd);
    if (result != exchange_answered || assembly.refused)
        return false;
    view_from_readstat(assembly, view);
    return true;
}
