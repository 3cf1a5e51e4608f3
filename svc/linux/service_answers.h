// The three answers of the service library, made from the time daemon's own
// view and the kernel's clock state.
#ifndef TVKSVCIO_SERVICE_ANSWERS_H
#define TVKSVCIO_SERVICE_ANSWERS_H

#include "clock_state.h"
#include "daemon_view.h"

#include <stdint.h>

struct service_answers {
    int32_t adjustment_active;
    int32_t ref_time_accessible;
    uint32_t ref_time_status;
};

service_answers answers_from(const daemon_view &daemon, const clock_snapshot &kernel);

#endif
