#include "token_expiry.h"

#include "token_clock.h"

int64_t TokenExpirySeconds(int64_t now, int32_t expires_in) {
  return (now + static_cast<int64_t>(expires_in) * kTokenTicksPerSecond) / kTokenTicksPerSecond;
}
