#include "chrony_protocol.h"

#include <gtest/gtest.h>
