#include "time_daemon.h"

#include "chrony_protocol.h"
#include "ntp_mode6.h"
#include "process_scan.h"
#include "timesyncd_state.h"

daemon_view ask_time_daemon()
{
    daemon_view view = {};
    // chronyd is the commonest daemon and the cheapest to ask: its command
    // port answers at once, whether it is open or closed.
    if (ask_chronyd(view))
        return view;

    // The others are asked only when their process runs, so that no port
    // that another program holds silently costs a wait.
    const running_daemons running = scan_time_daemons("/proc");
    if (running.pid[daemon_ntpd] != 0 && ask_ntpd(view))
        return view;
    if (running.pid[daemon_timesyncd] != 0 && ask_timesyncd(running.pid[daemon_timesyncd], view))
        return view;

    view.presence = no_daemon;
    for (const int pid : running.pid)
        if (pid != 0)
            view.presence = daemon_unasked;
    return view;
}
