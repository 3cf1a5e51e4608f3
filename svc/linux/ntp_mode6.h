// NTP mode 6 control messages: the read-status request this library sends
// to ntpd and the checks and decoding of its reply.
#ifndef TVKSVCIO_NTP_MODE6_H
#define TVKSVCIO_NTP_MODE6_H

#include "daemon_view.h"

#include <stddef.h>
#include <stdint.h>

// Asks ntpd on this machine for its system status and its associations;
// false when no valid answer comes.
bool ask_ntpd(daemon_view &view);

// The port ntpd takes control messages on, its NTP port.
const uint16_t ntp_port = 123;

// Every control message starts with this header: LI/VN/mode, R/E/M/opcode,
// then sequence, status, association id, offset and count as 16-bit words
// in network order.
const size_t mode6_header_length = 12;

// The read-status request is a bare header.
const size_t readstat_request_length = mode6_header_length;

// The most data ntpd puts in one fragment, and the most fragments this
// library waits for: room for 117 associations a fragment.
const size_t mode6_max_fragment_data = 468;
const size_t readstat_max_fragments = 24;

// The first byte: leap indicator, version, mode.
const uint8_t mode6_mode_mask = 0x07;
const uint8_t mode6_mode_control = 6;
const uint8_t mode6_version_shift = 3;
const uint8_t mode6_version_mask = 0x07;
const uint8_t mode6_version_sent = 2; // what ntpq sends; ntpd echoes it

// The second byte: response, error and more bits, and the opcode.
const uint8_t mode6_response_bit = 0x80;
const uint8_t mode6_error_bit = 0x40;
const uint8_t mode6_more_bit = 0x20;
const uint8_t mode6_opcode_mask = 0x1f;
const uint8_t mode6_opcode_readstat = 1;

// The system status word: the leap indicator in its top two bits, then the
// clock source, event counter and event code.
const unsigned system_status_leap_shift = 14;

// The peer status word: five status bits (configured, authentication
// enabled, authentic, reachable, broadcast), the three-bit selection code,
// then event counter and event code.
const uint16_t peer_status_configured = 0x8000;
const uint16_t peer_status_reachable = 0x1000;
const unsigned peer_status_select_shift = 8;
const uint16_t peer_status_select_mask = 0x7;
const uint16_t peer_select_system_peer = 6; // the source the clock follows

// Writes the request for the system status and the list of associations
// (read-status of association 0) with sequence into request.
void encode_readstat_request(uint16_t sequence, uint8_t request[readstat_request_length]);

// What one reply fragment says, once checked against the bytes received.
struct readstat_fragment {
    bool error;             // ntpd refused the request; nothing else holds
    bool more;              // further fragments follow this one
    uint16_t system_status; // the system status word
    uint16_t offset;        // where this fragment's data lies in the whole
    uint16_t count;         // bytes of data in this fragment
    bool any_reachable;     // an association in this fragment is reachable
};

// Checks a datagram as a fragment of the reply to the read-status request
// with sequence; false when it is not one: too short, not a control
// response, another opcode, sequence or association, or a data count and
// offset that do not fit the bytes received and whole pairs of words.
bool decode_readstat_fragment(const uint8_t *reply, size_t length, uint16_t sequence,
                              readstat_fragment *fragment);

// The fragments of one reply gathered so far. Fragments may come in any
// order; each must fit the others: the same system status, no overlap with
// another, none past the end the last one marks.
struct readstat_assembly {
    uint16_t sequence;
    bool refused;      // ntpd answered with its error bit
    bool end_known;    // the fragment without the more bit came
    uint32_t end;      // the length of the whole data, once known
    uint32_t received; // bytes of data in the fragments taken
    size_t fragments;  // fragments taken, in range below
    uint16_t range_offset[readstat_max_fragments];
    uint16_t range_count[readstat_max_fragments];
    uint16_t system_status;
    bool any_reachable;
};

// Starts gathering the reply to the request with sequence.
void readstat_assembly_start(readstat_assembly &assembly, uint16_t sequence);

// Takes one datagram into the assembly. False when it is no valid fragment
// of this reply or does not fit those taken before; the assembly is then
// left as it was.
bool readstat_assembly_take(readstat_assembly &assembly, const uint8_t *reply, size_t length);

// Whether the answer is known: ntpd refused, every fragment came, or one
// already showed a reachable association (the system status is the same in
// every fragment).
bool readstat_assembly_done(const readstat_assembly &assembly);

// Fills view from an assembly that is done and not refused.
void view_from_readstat(const readstat_assembly &assembly, daemon_view &view);

#endif
