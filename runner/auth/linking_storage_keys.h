#pragma once

#include <string>

// Credential-storage keys of one user type ("ciudadano" or "profesional") that a linking
// writes and reads.
struct LinkingStorageKeys {
  std::string access_token;
  std::string refresh_token;
  std::string token_expiry;
  std::string user_info;
  std::string sign_identities;
};

LinkingStorageKeys LinkingStorageKeysFor(const std::string& user_type_word);

constexpr char kAppLocaleKey[] = "app_locale";
