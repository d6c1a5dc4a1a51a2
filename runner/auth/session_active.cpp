#include "session_active.h"

#include <exception>

#include "linking_storage_keys.h"
#include "logger.h"
#include "secure_storage.h"
#include "session_validity.h"
#include "token_clock.h"

bool IsSessionActive(const std::string& user_type, const SecondsClock& clock) {
  try {
    const LinkingStorageKeys keys = LinkingStorageKeysFor(user_type);
    const std::optional<std::string> access_token = SecureStorage::GetToken(keys.access_token);
    std::optional<std::string> expiry;
    if (access_token && !access_token->empty()) expiry = SecureStorage::GetToken(keys.token_expiry);
    const int64_t now = clock ? clock() : CurrentUnixSeconds();
    const SessionValidity validity = DecideSessionValidity(access_token, expiry, now);
    for (const TokenLogLine& line : validity.log_lines) LogAt(line.level, line.text);
    return validity.active;
  } catch (const std::exception& error) {
    LogError(std::string("IsSessionActive failed: ") + error.what());
  } catch (...) {
    LogError("IsSessionActive failed: unknown exception");
  }
  return false;
}
