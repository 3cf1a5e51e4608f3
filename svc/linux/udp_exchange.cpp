#include "udp_exchange.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace
{

long long monotonic_ms()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

uint32_t fresh_request_sequence()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ns =
        static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
    return static_cast<uint32_t>(ns ^ (ns >> 32)) ^ static_cast<uint32_t>(getpid());
}

int udp_open_loopback(int family, uint16_t port)
{
    const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int connected;
    if (family == AF_INET6) {
        struct sockaddr_in6 peer = {};
        peer.sin6_family = AF_INET6;
        peer.sin6_port = htons(port);
        peer.sin6_addr = in6addr_loopback;
        connected = connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
    } else {
        struct sockaddr_in peer = {};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
    }
    if (connected != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

exchange_result udp_exchange(int fd, const uint8_t *request, size_t request_length, uint8_t *reply,
                             size_t reply_capacity, size_t *reply_length, reply_check is_reply,
                             const void *context)
{
    // On a connected socket a closed port shows as ECONNREFUSED, at the send
    // or at the first receive.
    if (send(fd, request, request_length, 0) != static_cast<ssize_t>(request_length))
        return errno == ECONNREFUSED ? exchange_refused : exchange_silent;

    const long long deadline = monotonic_ms() + daemon_answer_timeout_ms;
    for (long long left = daemon_answer_timeout_ms; left > 0; left = deadline - monotonic_ms()) {
        struct pollfd waiting = {fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        // MSG_TRUNC gives a datagram's whole length, so one longer than the
        // buffer is seen and passed over instead of being read cut short.
        const ssize_t got = recv(fd, reply, reply_capacity, MSG_TRUNC | MSG_DONTWAIT);
        if (got < 0) {
            if (errno == ECONNREFUSED)
                return exchange_refused;
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break;
        }
        const size_t length = static_cast<size_t>(got);
        if (length <= reply_capacity && is_reply(reply, length, context)) {
            *reply_length = length;
            return exchange_answered;
        }
    }
    return exchange_silent;
}
