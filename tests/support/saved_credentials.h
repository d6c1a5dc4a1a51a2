#pragma once

#include <optional>
#include <string>
#include <vector>

#include "secure_storage.h"

// Keeps credential-storage values aside for a test and puts them back afterwards.
class SavedCredentials {
 public:
  explicit SavedCredentials(std::vector<std::string> keys) : keys_(std::move(keys)) {
    for (const std::string& key : keys_) values_.push_back(SecureStorage::GetToken(key));
  }
  ~SavedCredentials() {
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (values_[i]) {
        SecureStorage::StoreToken(keys_[i], *values_[i]);
      } else {
        SecureStorage::DeleteToken(keys_[i]);
      }
    }
  }
  SavedCredentials(const SavedCredentials&) = delete;
  SavedCredentials& operator=(const SavedCredentials&) = delete;

 private:
  std::vector<std::string> keys_;
  std::vector<std::optional<std::string>> values_;
};

// Every key a linking of either user type writes, plus the environment.
inline std::vector<std::string> LinkingCredentialKeys() {
  std::vector<std::string> keys{"murako_environment"};
  for (const char* type : {"ciudadano", "profesional"}) {
    for (const char* prefix : {"oauth_access_token_", "oauth_refresh_token_", "oauth_token_expiry_",
                               "murako_user_info_", "murako_sign_identities_",
                               "oauth_token_environment_"}) {
      keys.push_back(prefix + std::string(type));
    }
  }
  return keys;
}
