#pragma once

#include <cstdint>

// When a token obtained at `now` (100-nanosecond units since 1970-01-01 00:00 UTC) with a
// lifetime of `expires_in` seconds expires, in whole seconds since 1970, truncated.
int64_t TokenExpirySeconds(int64_t now, int32_t expires_in);
