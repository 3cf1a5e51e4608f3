// ntpd's mode 6 replies taken apart: the whole input as one datagram, then
// as a stream of datagrams, each a length byte and that many bytes, gathered
// into one reply. Every datagram is copied into a buffer of its exact size,
// so that a read past its end shows.
#include "ntp_mode6.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

// The datagram's own sequence word, so that decoding goes past that check.
uint16_t sequence_of(const uint8_t *data, size_t size)
{
    return size >= 4 ? static_cast<uint16_t>(data[2] << 8 | data[3]) : 0;
}

// Decodes size bytes from data out of an exact-size copy.
bool decode_copy(const uint8_t *data, size_t size, uint16_t sequence)
{
    uint8_t *copy = static_cast<uint8_t *>(std::malloc(size == 0 ? 1 : size));
    if (copy == nullptr)
        return false;
    if (size != 0)
        std::memcpy(copy, data, size);
    readstat_fragment fragment;
    const bool valid = decode_readstat_fragment(copy, size, sequence, &fragment);
    std::free(copy);
    if (valid && !fragment.error && fragment.count > size - mode6_header_length)
        std::abort();
    return valid;
}

// What a gathered reply must hold whatever it was fed.
void check_assembly(const readstat_assembly &assembly)
{
    if (assembly.fragments > readstat_max_fragments)
        std::abort();
    uint32_t received = 0;
    for (size_t i = 0; i < assembly.fragments; ++i) {
        const uint32_t stop = uint32_t{assembly.range_offset[i]} + assembly.range_count[i];
        if (assembly.end_known && stop > assembly.end)
            std::abort();
        received += assembly.range_count[i];
    }
    if (received != assembly.received)
        std::abort();
    if (readstat_assembly_done(assembly) && !assembly.refused) {
        daemon_view view = {};
        view_from_readstat(assembly, view);
        if (view.leap > leap_unsynchronised ||
            view.synchronised == (view.leap == leap_unsynchronised))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    decode_copy(data, size, sequence_of(data, size));

    // The stream: the first datagram's sequence is the one awaited.
    readstat_assembly assembly;
    bool started = false;
    size_t at = 0;
    while (at < size) {
        const size_t length = data[at];
        ++at;
        if (length > size - at)
            break;
        if (!started) {
            readstat_assembly_start(assembly, sequence_of(data + at, length));
            started = true;
        }
        uint8_t *copy = static_cast<uint8_t *>(std::malloc(length == 0 ? 1 : length));
        if (copy == nullptr)
            return 0;
        if (length != 0)
            std::memcpy(copy, data + at, length);
        readstat_assembly_take(assembly, copy, length);
        std::free(copy);
        check_assembly(assembly);
        at += length;
    }
    return 0;
}
