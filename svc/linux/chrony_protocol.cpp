#include "chrony_protocol.h"

namespace
{

const uint8_t protocol_version = 6;
const uint8_t packet_request = 1;
const uint8_t packet_reply = 2;
const uint16_t status_success = 0;

const size_t request_header_length = 20;
const size_t reply_header_length = 28;

// Offsets in a reply's header.
const size_t reply_command_at = 4;
const size_t reply_code_at = 6;
const size_t reply_status_at = 8;
const size_t reply_sequence_at = 16;

// Offsets of the fields we read, from the start of a reply. The tracking
// data begins with the reference ID (4 bytes), its address (20 bytes) and
// the stratum (2 bytes); a source's data with its address (20 bytes), poll,
// stratum, state, mode and flags (2 bytes each).
const size_t tracking_leap_at = reply_header_length + 26;
const size_t n_sources_count_at = reply_header_length;
const size_t source_reachability_at = reply_header_length + 30;

// What chronyd answers to each request we send.
struct exchange_layout {
    chrony_command command;
    uint16_t reply_code;
    size_t request_data_length; // the request's own fields after the header
    size_t reply_length;        // header and data of the answer
};

const exchange_layout layouts[] = {
    {chrony_n_sources, 2, 0, reply_header_length + 4},
    {chrony_source_data, 3, 4, reply_header_length + 48},
    {chrony_tracking, 5, 0, reply_header_length + 76},
};

// The layout of command's exchange, or null for one we do not send.
const exchange_layout *layout_of(chrony_command command)
{
    for (const exchange_layout &layout : layouts)
        if (layout.command == command)
            return &layout;
    return nullptr;
}

// Writes value at out in network byte order.
void put16(uint8_t *out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

// Writes value at out in network byte order.
void put32(uint8_t *out, uint32_t value)
{
    put16(out, static_cast<uint16_t>(value >> 16));
    put16(out + 2, static_cast<uint16_t>(value));
}

// Reads a 16-bit field in network byte order.
uint16_t get16(const uint8_t *in)
{
    return static_cast<uint16_t>(in[0] << 8 | in[1]);
}

// Reads a 32-bit field in network byte order.
uint32_t get32(const uint8_t *in)
{
    return static_cast<uint32_t>(get16(in)) << 16 | static_cast<uint32_t>(get16(in + 2));
}

// Tells whether reply is the successful answer to command's request with
// sequence.
bool reply_fits(const uint8_t *reply, size_t length, chrony_command command, uint32_t sequence)
{
    const exchange_layout *layout = layout_of(command);
    if (layout == nullptr || length < layout->reply_length)
        return false;
    // chronyd answers a request it cannot serve with a shorter reply of
    // another code and a failure status, which the length check above
    // already turns away; the checks below catch the rest.
    return reply[0] == protocol_version && reply[1] == packet_reply && reply[2] == 0 &&
           reply[3] == 0 && get16(reply + reply_command_at) == command &&
           get16(reply + reply_code_at) == layout->reply_code &&
           get16(reply + reply_status_at) == status_success &&
           get32(reply + reply_sequence_at) == sequence;
}

} // namespace

size_t chrony_encode_request(chrony_command command, uint32_t sequence, uint32_t index,
                             uint8_t *out, size_t capacity)
{
    const exchange_layout *layout = layout_of(command);
    if (layout == nullptr)
        return 0;
    size_t length = request_header_length + layout->request_data_length;
    if (length < layout->reply_length)
        length = layout->reply_length;
    if (capacity < length)
        return 0;

    // Reserved bytes, pad words and the padding itself are all zero; the
    // attempt counter stays zero since each request is sent once.
    for (size_t i = 0; i < length; ++i)
        out[i] = 0;
    out[0] = protocol_version;
    out[1] = packet_request;
    put16(out + 4, command);
    put32(out + 8, sequence);
    if (command == chrony_source_data)
        put32(out + request_header_length, index);
    return length;
}

bool chrony_decode_tracking(const uint8_t *reply, size_t length, uint32_t sequence,
                            leap_indicator *leap)
{
    if (!reply_fits(reply, length, chrony_tracking, sequence))
        return false;
    const uint16_t status = get16(reply + tracking_leap_at);
    if (status > leap_unsynchronised)
        return false;
    *leap = static_cast<leap_indicator>(status);
    return true;
}

bool chrony_decode_n_sources(const uint8_t *reply, size_t length, uint32_t sequence,
                             uint32_t *count)
{
    if (!reply_fits(reply, length, chrony_n_sources, sequence))
        return false;
    *count = get32(reply + n_sources_count_at);
    return true;
}

bool chrony_decode_source_data(const uint8_t *reply, size_t length, uint32_t sequence,
                               uint8_t *reachability)
{
    if (!reply_fits(reply, length, chrony_source_data, sequence))
        return false;
    const uint16_t reach = get16(reply + source_reachability_at);
    if (reach > 0xff)
        return false;
    *reachability = static_cast<uint8_t>(reach);
    return true;
}
