#include "clear_oauth_session.h"

#include <exception>

#include "logger.h"
#include "remove_all_murako_certificates.h"
#include "session_keys.h"

namespace {

std::string JoinKeys(const std::vector<std::string>& keys) {
  std::string joined;
  for (const std::string& key : keys) joined += (joined.empty() ? "" : ", ") + key;
  return joined;
}

bool ClearEverything(const SessionStore& store) {
  LogInfo("clearOAuthSession called - clearing tokens and certificates");
  const MurakoCertificateRemoval removal = RemoveAllMurakoCertificates(store);
  std::vector<std::string> kept = removal.kept_keys;
  const std::vector<std::string> kept_tokens = DeleteSessionTokens(store);
  kept.insert(kept.end(), kept_tokens.begin(), kept_tokens.end());

  if (removal.certificates_removed && kept.empty()) {
    LogInfo("OAuth tokens and certificates cleared successfully");
    return true;
  }
  if (!removal.certificates_removed) {
    LogError("OAuth session not fully cleared: certificates of the system remain in the store");
  }
  if (!kept.empty()) LogError("OAuth session not fully cleared: still stored: " + JoinKeys(kept));
  return false;
}

}  // namespace

std::vector<std::string> DeleteSessionTokens(const SessionStore& store) {
  return DeleteKeys(SessionTokenKeysInClearingOrder(), store);
}

bool ClearOAuthSession(const SessionStore& store) {
  try {
    return ClearEverything(store);
  } catch (const std::exception& error) {
    LogError(std::string("clearOAuthSession failed: ") + error.what());
  } catch (...) {
    LogError("clearOAuthSession failed: unknown exception");
  }
  return false;
}
