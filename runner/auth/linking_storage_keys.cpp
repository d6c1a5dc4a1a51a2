#include "linking_storage_keys.h"

LinkingStorageKeys LinkingStorageKeysFor(const std::string& user_type_word) {
  return {"oauth_access_token_" + user_type_word, "oauth_refresh_token_" + user_type_word,
          "oauth_token_expiry_" + user_type_word, "murako_user_info_" + user_type_word,
          "murako_sign_identities_" + user_type_word};
}
