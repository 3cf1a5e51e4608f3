// Fuzzes the checks and decoders of chronyd's replies. The input's first
// four bytes are the sequence number awaited, in network byte order; the rest
// is the datagram. Whatever the bytes, no decoder reads beyond them, and what
// one accepts is a value that chronyd can send.
#include "chrony_protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const uint32_t sequence = static_cast<uint32_t>(data[0]) << 24 |
                              static_cast<uint32_t>(data[1]) << 16 |
                              static_cast<uint32_t>(data[2]) << 8 | static_cast<uint32_t>(data[3]);
    // A copy of exactly the datagram's size, so that a read past it is caught.
    const std::vector<uint8_t> reply(data + 4, data + size);

    leap_indicator leap;
    if (chrony_decode_tracking(reply.data(), reply.size(), sequence, &leap) &&
        (leap < leap_none || leap > leap_unsynchronised))
        abort();
    uint32_t count;
    (void)chrony_decode_n_sources(reply.data(), reply.size(), sequence, &count);
    uint8_t reachability;
    (void)chrony_decode_source_data(reply.data(), reply.size(), sequence, &reachability);
    return 0;
}
