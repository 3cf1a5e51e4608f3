#include "chrony_protocol.h"
