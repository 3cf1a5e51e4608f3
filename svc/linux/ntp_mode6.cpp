#include "ntp_mode6.h"
