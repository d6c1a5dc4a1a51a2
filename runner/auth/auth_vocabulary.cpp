#include "auth_vocabulary.h"

#include <chrono>
#include <ratio>

#include "secure_storage.h"
#include "service_endpoints.h"

bool IsOAuthProfessional(int user_type) { return user_type == kOAuthProfessional; }

std::string OAuthUserTypeWord(int user_type) {
  return IsOAuthProfessional(user_type) ? "profesional" : "ciudadano";
}

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

LinkingStorageKeys LinkingStorageKeysFor(const std::string& user_type_word) {
  return {"oauth_access_token_" + user_type_word, "oauth_refresh_token_" + user_type_word,
          "oauth_token_expiry_" + user_type_word, "murako_user_info_" + user_type_word,
          "murako_sign_identities_" + user_type_word};
}

ThumbprintMappingKeyPair ThumbprintMappingKeysFor(const std::string& thumbprint) {
  return {"sign_identity_by_thumbprint_" + thumbprint, "user_type_by_thumbprint_" + thumbprint};
}

std::vector<std::string> SessionTokenKeysInClearingOrder() {
  std::vector<std::string> keys;
  for (const char* user_type : {"ciudadano", "profesional"}) {
    const LinkingStorageKeys of_type = LinkingStorageKeysFor(user_type);
    keys.push_back(of_type.access_token);
    keys.push_back(of_type.refresh_token);
    keys.push_back(of_type.token_expiry);
  }
  return keys;
}

std::optional<std::string> ReadStoredEnvironment() {
  return SecureStorage::GetToken(kEnvironmentKey);
}
