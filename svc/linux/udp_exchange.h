// Questions to a daemon on this machine over UDP: one request, one reply,
// waited for a bounded time. Knows nothing of what the bytes mean.
#ifndef TVKSVCIO_UDP_EXCHANGE_H
#define TVKSVCIO_UDP_EXCHANGE_H

#include <stddef.h>
#include <stdint.h>

// The longest a daemon that holds its port is given to answer one request.
// A closed port answers at once, so only a silent daemon costs this.
const int daemon_answer_timeout_ms = 250;

// A socket connected to port on the loopback address of family (AF_INET for
// 127.0.0.1, AF_INET6 for ::1), or -1.
int udp_open_loopback(int family, uint16_t port);

// A request sequence number that is unlikely to repeat from one run to the
// next, so that a late reply to an earlier run is never taken for ours.
uint32_t fresh_request_sequence();

enum exchange_result {
    exchange_answered, // a reply that the check accepted is in the buffer
    exchange_refused,  // nothing listens on the port
    exchange_silent,   // no accepted reply came in time
};

// Tells whether a datagram is the reply awaited; context is the caller's.
typedef bool (*reply_check)(const uint8_t *reply, size_t length, const void *context);

// Sends request over fd and waits for a datagram that fits in reply and that
// is_reply accepts; others (late replies to earlier requests, strangers) are
// passed over until the time is up. The accepted reply's length goes to
// *reply_length.
exchange_result udp_exchange(int fd, const uint8_t *request, size_t request_length, uint8_t *reply,
                             size_t reply_capacity, size_t *reply_length, reply_check is_reply,
                             const void *context);

#endif
