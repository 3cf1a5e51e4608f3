#include "timesyncd_state.h"

#include <gtest/gtest.h>
