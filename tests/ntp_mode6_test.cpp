#include "ntp_mode6.h"

#include <gtest/gtest.h>
