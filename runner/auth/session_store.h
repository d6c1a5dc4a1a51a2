#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cert_store_manager.h"

// What taking a session down touches: the system's certificates in the personal store and
// credential-storage keys. Empty members use CertStoreManager and SecureStorage.
struct SessionStore {
  std::function<std::vector<InstalledCertificate>()> list_certificates;
  std::function<bool()> remove_all_certificates;
  std::function<bool(const std::string& key)> delete_key;  // true when deleted or already absent
};

SessionStore WithSessionStoreDefaults(SessionStore store);
