#include "timesyncd_state.h"
