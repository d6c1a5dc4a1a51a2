#include "storage_keys.h"

LinkingStorageKeys LinkingStorageKeysFor(UserType type) {
  const std::string word = UserTypeWord(type);
  return {"oauth_access_token_" + word,     "oauth_refresh_token_" + word,
          "oauth_token_expiry_" + word,     "murako_user_info_" + word,
          "murako_sign_identities_" + word, "murako_sign_identity_id_" + word,
          "oauth_token_environment_" + word};
}

ThumbprintMappingKeyPair ThumbprintMappingKeysFor(const std::string& thumbprint) {
  return {"sign_identity_by_thumbprint_" + thumbprint, "user_type_by_thumbprint_" + thumbprint};
}

std::vector<std::string> SessionTokenKeysInClearingOrder() {
  std::vector<std::string> keys;
  for (UserType type : {UserType::kCitizen, UserType::kProfessional}) {
    const LinkingStorageKeys of_type = LinkingStorageKeysFor(type);
    keys.push_back(of_type.access_token);
    keys.push_back(of_type.refresh_token);
    keys.push_back(of_type.token_expiry);
  }
  return keys;
}
