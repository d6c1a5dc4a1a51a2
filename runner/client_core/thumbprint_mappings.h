#pragma once

#include <string>

#include "user_type.h"

// The one writer of the two entries that tell the signing bridge which identity and user type
// sign with an installed certificate (storage_keys.h: ThumbprintMappingKeysFor).

// How the caller's log words a stored user type.
enum class UserTypeMappingLine {
  kKeyToWord,         // "  ✅ Stored user_type mapping: <key> → <word>" (certificate install)
  kThumbprintToWord,  // "Stored user_type: <thumbprint> → <word>" (account linking)
};

// Stores the identity under "sign_identity_by_thumbprint_" + thumbprint (logged "  ✅ Stored
// thumbprint mapping: <key> → <id>", or ERROR "Failed to store mapping for thumbprint: <T>") and
// the type's word under "user_type_by_thumbprint_" + thumbprint (logged as `line` says, or ERROR
// "Failed to store user_type for thumbprint: <T>"). True when both were stored.
bool StoreThumbprintMappings(const std::string& thumbprint, const std::string& sign_identity_id,
                             UserType type, UserTypeMappingLine line);
