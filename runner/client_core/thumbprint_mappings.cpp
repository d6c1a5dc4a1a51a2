#include "thumbprint_mappings.h"

#include "logger.h"
#include "secure_storage.h"
#include "storage_keys.h"

namespace {

constexpr char kCheck[] = "\xE2\x9C\x85";  // U+2705
constexpr char kArrow[] = "\xE2\x86\x92";  // U+2192

std::string UserTypeStoredLine(UserTypeMappingLine line, const std::string& thumbprint,
                               const std::string& key, const std::string& word) {
  if (line == UserTypeMappingLine::kThumbprintToWord) {
    return "Stored user_type: " + thumbprint + " " + kArrow + " " + word;
  }
  return std::string("  ") + kCheck + " Stored user_type mapping: " + key + " " + kArrow + " " +
         word;
}

}  // namespace

bool StoreThumbprintMappings(const std::string& thumbprint, const std::string& sign_identity_id,
                             UserType type, UserTypeMappingLine line) {
  const ThumbprintMappingKeyPair keys = ThumbprintMappingKeysFor(thumbprint);
  const bool identity_stored = SecureStorage::StoreToken(keys.sign_identity, sign_identity_id);
  if (identity_stored) {
    LogInfo(std::string("  ") + kCheck + " Stored thumbprint mapping: " + keys.sign_identity + " " +
            kArrow + " " + sign_identity_id);
  } else {
    LogError("Failed to store mapping for thumbprint: " + thumbprint);
  }
  const std::string word = UserTypeWord(type);
  const bool type_stored = SecureStorage::StoreToken(keys.user_type, word);
  if (type_stored) {
    LogInfo(UserTypeStoredLine(line, thumbprint, keys.user_type, word));
  } else {
    LogError("Failed to store user_type for thumbprint: " + thumbprint);
  }
  return identity_stored && type_stored;
}
