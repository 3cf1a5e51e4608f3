// chronyd's command protocol: the open requests this library sends to
// chronyd's command port and the checks and decoding of its replies.
//
// Every message is version 6 of the protocol that chronyc speaks, all fields
// in network byte order. A request has a 20-byte header (version, packet
// type, two reserved bytes, command, attempt, sequence, two pad words) and is
// padded with zeros to at least the length of its reply, since chronyd drops
// shorter requests so that it cannot be used to amplify traffic. A reply has
// a 28-byte header (version, packet type, two reserved bytes, command echoed,
// reply code, status, three pad halves, sequence echoed, two pad words)
// before the data of its reply code.
#ifndef TVKSVCIO_CHRONY_PROTOCOL_H
#define TVKSVCIO_CHRONY_PROTOCOL_H

#include "daemon_view.h"

#include <stddef.h>
#include <stdint.h>

// chronyd's command port on the loopback addresses.
const uint16_t chrony_command_port = 323;

// The requests this library sends; the values are chronyd's command codes.
enum chrony_command : uint16_t {
    chrony_n_sources = 14,   // how many sources chronyd has
    chrony_source_data = 15, // one source's state, by index
    chrony_tracking = 33,    // the system clock's synchronisation
};

// Room for the longest request we send: tracking, padded to its reply.
const size_t chrony_request_capacity = 104;

// Room for any reply chronyd sends on its command port.
const size_t chrony_reply_capacity = 512;

// Writes the request for command into out (index counts only for
// source_data), zero-padded to its reply's length; returns that length, or 0
// when out is too small.
size_t chrony_encode_request(chrony_command command, uint32_t sequence, uint32_t index,
                             uint8_t *out, size_t capacity);

// Each decoder first checks that reply is chronyd's successful answer to the
// request it decodes, sent with sequence: at least as long as that answer
// (as chronyc, it ignores bytes past it), version 6, a reply packet, reserved
// bytes zero, command and sequence echoed, the answer's reply code and status
// success. Only then does it read a field, and false means no answer.

// Reads the leap status from a tracking reply; false when the reply does not
// fit or the status is none of the four that chronyd reports.
bool chrony_decode_tracking(const uint8_t *reply, size_t length, uint32_t sequence,
                            leap_indicator *leap);

// Reads the number of sources from an n_sources reply; false when the reply
// does not fit.
bool chrony_decode_n_sources(const uint8_t *reply, size_t length, uint32_t sequence,
                             uint32_t *count);

// Reads a source's 8-bit reachability register from a source_data reply;
// false when the reply does not fit or the register holds more than 8 bits.
bool chrony_decode_source_data(const uint8_t *reply, size_t length, uint32_t sequence,
                               uint8_t *reachability);

// Asks chronyd on this machine for its tracking and its sources; false when
// no chronyd answers on its command port.
bool ask_chronyd(daemon_view &view);

#endif
