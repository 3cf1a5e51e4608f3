// NTP mode 6 control messages: the read-status request this library sends
// to ntpd and the checks and decoding of its reply.
#ifndef TVKSVCIO_NTP_MODE6_H
#define TVKSVCIO_NTP_MODE6_H

#include "daemon_view.h"

// Asks ntpd on this machine for its system status and its associations;
// false when no valid answer comes.
bool ask_ntpd(daemon_view &view);

#endif
