#include "session_keys.h"

#include "linking_storage_keys.h"

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

std::vector<std::string> ThumbprintMappingKeys(
    const std::vector<InstalledCertificate>& certificates) {
  std::vector<std::string> keys;
  for (const InstalledCertificate& certificate : certificates) {
    keys.push_back("sign_identity_by_thumbprint_" + certificate.thumbprint);
    keys.push_back("user_type_by_thumbprint_" + certificate.thumbprint);
  }
  return keys;
}
