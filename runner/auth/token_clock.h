#pragma once

#include <cstdint>

// Token times are counted in 100-nanosecond units since 1970-01-01 00:00 UTC.
constexpr int64_t kTokenTicksPerSecond = 10000000;

// The system clock in those units, as tokens record the time they were obtained.
int64_t CurrentTokenTime();

// The system clock in whole seconds since 1970, as stored expiries are written.
int64_t CurrentUnixSeconds();
