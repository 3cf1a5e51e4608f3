// chronyd's command protocol: the open requests this library sends to
// chronyd's command port and the checks and decoding of its replies.
#ifndef TVKSVCIO_CHRONY_PROTOCOL_H
#define TVKSVCIO_CHRONY_PROTOCOL_H

#include "daemon_view.h"

// Asks chronyd on this machine for its tracking and its sources; false when
// no chronyd answers on its command port.
bool ask_chronyd(daemon_view &view);

#endif
