#pragma once

#include <cstdint>

// The system clock in 100-nanosecond units since 1970-01-01 00:00 UTC, as tokens record the
// time they were obtained.
int64_t CurrentTokenTime();
