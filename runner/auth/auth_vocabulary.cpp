#include "auth_vocabulary.h"

#include <chrono>
#include <ratio>

#include "secure_storage.h"
#include "service_endpoints.h"

int64_t CurrentTokenTime() {
  using TokenTicks = std::chrono::duration<int64_t, std::ratio<1, kTokenTicksPerSecond>>;
  return std::chrono::duration_cast<TokenTicks>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t CurrentUnixSeconds() { return CurrentTokenTime() / kTokenTicksPerSecond; }

int64_t TokenExpirySeconds(int64_t now, int32_t expires_in) {
  return (now + static_cast<int64_t>(expires_in) * kTokenTicksPerSecond) / kTokenTicksPerSecond;
}

std::optional<std::string> ReadStoredEnvironment() {
  return SecureStorage::GetToken(kEnvironmentKey);
}
