#include "token_clock.h"

#include <chrono>
#include <ratio>

int64_t CurrentTokenTime() {
  using HundredNanoseconds = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
  return std::chrono::duration_cast<HundredNanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
