#include "bridge_credentials.h"

#include "bridge_last_error.h"
#include "guarded_entry.h"
#include "logger.h"
#include "secure_storage.h"
#include "storage_keys.h"

namespace {

// Identities are short ASCII names. Anything else (a damaged entry) cannot be written into the
// request, and failing here rather than inside the request keeps the signing path free of
// exceptions, whose runtime support leaves two handles behind per load of the library.
bool IsPrintableAscii(const std::string& text) {
  for (char c : text) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

UserType GetUserTypeByThumbprint(const std::string& thumbprint) {
  LogInfo("Looking up user_type for thumbprint: " + thumbprint);
  const std::string word = GuardEntry(
      [&] {
        std::optional<std::string> stored =
            SecureStorage::GetToken(ThumbprintMappingKeysFor(thumbprint).user_type);
        if (stored && !stored->empty()) {
          LogInfo("Found user_type in cache: " + *stored);
          return *stored;
        }
        LogWarning("No user_type found in cache for thumbprint, defaulting to 'ciudadano'");
        return UserTypeWord(UserType::kCitizen);
      },
      [](const CaughtFailure& caught) {
        LogWarning("Failed to get user_type from cache: " + caught.Text() +
                   ", defaulting to 'ciudadano'");
        return UserTypeWord(UserType::kCitizen);
      });
  LogInfo("User type for this certificate: " + word);
  return ParseUserType(word, UserType::kCitizen);
}

std::optional<std::string> GetSignIdentityByThumbprint(const std::string& thumbprint) {
  LogInfo("Looking up sign_identity_id for thumbprint: " + thumbprint);
  return GuardEntry(
      [&]() -> std::optional<std::string> {
        std::optional<std::string> stored =
            SecureStorage::GetToken(ThumbprintMappingKeysFor(thumbprint).sign_identity);
        if (stored && !stored->empty() && IsPrintableAscii(*stored)) {
          LogInfo("Found sign_identity_id in cache: " + *stored);
          return stored;
        }
        if (stored && !stored->empty()) {
          SetBridgeError("Stored sign_identity_id for thumbprint " + thumbprint + " is not text");
          return std::nullopt;
        }
        SetBridgeError("No sign_identity_id found in cache for thumbprint: " + thumbprint +
                       ". Please complete OAuth flow in the app first.");
        return std::nullopt;
      },
      [](const CaughtFailure& caught) {
        SetBridgeError("Failed to get sign_identity_id from cache: " + caught.Text());
        return std::nullopt;
      });
}

std::optional<std::string> GetOAuthToken(const std::string& key) {
  return GuardEntry(
      [&]() -> std::optional<std::string> {
        std::optional<std::string> stored = SecureStorage::GetToken(key);
        if (stored && !stored->empty()) return stored;
        SetBridgeError("No OAuth token found for key: " + key);
        return std::nullopt;
      },
      [](const CaughtFailure& caught) {
        SetBridgeError("Failed to get OAuth token: " + caught.Text());
        return std::nullopt;
      });
}
