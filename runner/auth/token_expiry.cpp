#include "token_expiry.h"

namespace {
constexpr int64_t kTicksPerSecond = 10000000;
}

int64_t TokenExpirySeconds(int64_t now, int32_t expires_in) {
  return (now + static_cast<int64_t>(expires_in) * kTicksPerSecond) / kTicksPerSecond;
}
