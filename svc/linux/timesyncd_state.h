// systemd-timesyncd's own view of its last server reply, from its D-Bus
// properties or its synchronized file.
#ifndef TVKSVCIO_TIMESYNCD_STATE_H
#define TVKSVCIO_TIMESYNCD_STATE_H

#include "daemon_view.h"

// Asks systemd-timesyncd, running as process pid; false when it cannot be
// asked.
bool ask_timesyncd(int pid, daemon_view &view);

#endif
