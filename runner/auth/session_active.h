#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "token_clock.h"

// Seconds since 1970-01-01 00:00 UTC; tests substitute their own clock.
using SecondsClock = std::function<int64_t()>;

// Whether the stored session of "ciudadano" or "profesional" is active: an access token is
// stored and its stored expiry lies after the current second. Logs the outcome; never throws.
bool IsSessionActive(const std::string& user_type, const SecondsClock& clock = {});
