#pragma once

#include <string>
#include <vector>

#include "user_type.h"

// The credential-storage keys that depend on a user type or a certificate, built in one place
// for the main program and the signing bridge.

// Keys of one user type that a linking writes and the interface reads: each is a prefix and
// the user type's word ("_ciudadano" or "_profesional" at the end).
struct LinkingStorageKeys {
  std::string access_token;
  std::string refresh_token;
  std::string token_expiry;
  std::string user_info;
  std::string sign_identities;
  std::string sign_identity_id;  // the first identity, as "getUserInfo" stores it
  std::string token_environment;  // the environment the tokens were obtained in
};

LinkingStorageKeys LinkingStorageKeysFor(UserType type);

// The two entries that record which identity and user type sign with a certificate, read by
// the signing bridge.
struct ThumbprintMappingKeyPair {
  std::string sign_identity;  // "sign_identity_by_thumbprint_" + thumbprint
  std::string user_type;      // "user_type_by_thumbprint_" + thumbprint
};

ThumbprintMappingKeyPair ThumbprintMappingKeysFor(const std::string& thumbprint);

// Access, refresh and expiry of "ciudadano", then the same of "profesional": the order a
// sign-out deletes them in.
std::vector<std::string> SessionTokenKeysInClearingOrder();
