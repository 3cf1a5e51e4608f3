#include "ntp_mode6.h"

namespace
{

// The oldest and newest NTP versions; ntpd answers with the version of the
// request, but any defined one is taken.
const uint8_t oldest_ntp_version = 1;
const uint8_t newest_ntp_version = 4;

// Data comes as (association id, peer status) pairs of 16-bit words.
const size_t association_pair_length = 4;

// Reads the big-endian 16-bit word at bytes.
uint16_t word_at(const uint8_t *bytes)
{
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// Writes value as a big-endian 16-bit word at bytes.
void put_word(uint8_t *bytes, uint16_t value)
{
    bytes[0] = static_cast<uint8_t>(value >> 8);
    bytes[1] = static_cast<uint8_t>(value & 0xff);
}

} // namespace

void encode_readstat_request(uint16_t sequence, uint8_t request[readstat_request_length])
{
    // Leap indicator 0, our version, control mode; a plain request (no
    // response, error or more bit) for association 0 with no data.
    request[0] =
        static_cast<uint8_t>(mode6_version_sent << mode6_version_shift | mode6_mode_control);
    request[1] = mode6_opcode_readstat;
    put_word(request + 2, sequence);
    for (size_t i = 4; i < readstat_request_length; ++i)
        request[i] = 0;
}

bool decode_readstat_fragment(const uint8_t *reply, size_t length, uint16_t sequence,
                              readstat_fragment *fragment)
{
    if (reply == nullptr || length < mode6_header_length)
        return false;
    const uint8_t version = (reply[0] >> mode6_version_shift) & mode6_version_mask;
    if ((reply[0] & mode6_mode_mask) != mode6_mode_control || version < oldest_ntp_version ||
        version > newest_ntp_version)
        return false;
    if ((reply[1] & mode6_response_bit) == 0 ||
        (reply[1] & mode6_opcode_mask) != mode6_opcode_readstat)
        return false;
    if (word_at(reply + 2) != sequence || word_at(reply + 6) != 0)
        return false;

    readstat_fragment found = {};
    found.error = (reply[1] & mode6_error_bit) != 0;
    if (found.error) {
        // An error response carries its code in the status word and no data
        // this library reads.
        *fragment = found;
        return true;
    }
    found.more = (reply[1] & mode6_more_bit) != 0;
    found.system_status = word_at(reply + 4);
    found.offset = word_at(reply + 8);
    found.count = word_at(reply + 10);

    // The data must lie within the bytes received (padding and any
    // authenticator may follow it), hold whole pairs, and start on a pair.
    if (found.count > length - mode6_header_length)
        return false;
    if (found.count % association_pair_length != 0 || found.offset % association_pair_length != 0)
        return false;
    // A fragment that promises more must carry something, or a sender could
    // keep the reply open for ever.
    if (found.more && found.count == 0)
        return false;

    const uint8_t *data = reply + mode6_header_length;
    for (size_t at = 0; at < found.count; at += association_pair_length) {
        // Association ids start at 1; a zero is no association.
        if (word_at(data + at) == 0)
            return false;
        if ((word_at(data + at + 2) & peer_status_reachable) != 0)
            found.any_reachable = true;
    }
    *fragment = found;
    return true;
}

void readstat_assembly_start(readstat_assembly &assembly, uint16_t sequence)
{
    assembly = readstat_assembly{};
    assembly.sequence = sequence;
}

bool readstat_assembly_take(readstat_assembly &assembly, const uint8_t *reply, size_t length)
{
    readstat_fragment fragment;
    if (!decode_readstat_fragment(reply, length, assembly.sequence, &fragment))
        return false;
    if (fragment.error) {
        assembly.refused = true;
        return true;
    }
    // ntpd puts the same system status in every fragment of one reply.
    if (assembly.fragments > 0 && fragment.system_status != assembly.system_status)
        return false;

    const uint32_t start = fragment.offset;
    const uint32_t stop = start + fragment.count;
    for (size_t i = 0; i < assembly.fragments; ++i) {
        const uint32_t taken_start = assembly.range_offset[i];
        const uint32_t taken_stop = taken_start + assembly.range_count[i];
        // A fragment sent twice adds nothing; one that overlaps another
        // differently belongs to no consistent reply.
        if (start == taken_start && stop == taken_stop)
            return true;
        if (start < taken_stop && taken_start < stop)
            return false;
        // The last fragment marks the end: nothing taken may lie past it.
        if (!fragment.more && taken_stop > stop)
            return false;
    }
    if (assembly.end_known && (stop > assembly.end || !fragment.more))
        return false;
    if (assembly.fragments == readstat_max_fragments)
        return false;

    assembly.range_offset[assembly.fragments] = fragment.offset;
    assembly.range_count[assembly.fragments] = fragment.count;
    ++assembly.fragments;
    assembly.received += fragment.count;
    assembly.system_status = fragment.system_status;
    if (!fragment.more) {
        assembly.end_known = true;
        assembly.end = stop;
    }
    if (fragment.any_reachable)
        assembly.any_reachable = true;
    return true;
}

bool readstat_assembly_done(const readstat_assembly &assembly)
{
    if (assembly.refused || assembly.any_reachable)
        return true;
    // Taken ranges never overlap and lie before the end, so as many bytes
    // as the end leave no gap.
    return assembly.end_known && assembly.received == assembly.end;
}

void view_from_readstat(const readstat_assembly &assembly, daemon_view &view)
{
    const unsigned leap = static_cast<unsigned>(assembly.system_status) >> system_status_leap_shift;
    view.presence = daemon_answered;
    view.leap = static_cast<leap_indicator>(leap);
    view.synchronised = view.leap != leap_unsynchronised;
    view.source_reachable = assembly.any_reachable;
}
