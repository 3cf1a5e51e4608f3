// Which time daemon runs on this machine, and what it says of itself.
#ifndef TVKSVCIO_TIME_DAEMON_H
#define TVKSVCIO_TIME_DAEMON_H

#include "daemon_view.h"

daemon_view ask_time_daemon();

#endif
