#include "token_clock.h"

#include <chrono>
#include <ratio>

int64_t CurrentTokenTime() {
  using TokenTicks = std::chrono::duration<int64_t, std::ratio<1, kTokenTicksPerSecond>>;
  return std::chrono::duration_cast<TokenTicks>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t CurrentUnixSeconds() { return CurrentTokenTime() / kTokenTicksPerSecond; }
