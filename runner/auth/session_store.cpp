#include "session_store.h"

#include <utility>

#include "secure_storage.h"

SessionStore WithSessionStoreDefaults(SessionStore store) {
  if (!store.list_certificates) store.list_certificates = CertStoreManager::ListInstalledCertificates;
  if (!store.remove_all_certificates) {
    store.remove_all_certificates = CertStoreManager::RemoveAllCertificates;
  }
  if (!store.delete_key) store.delete_key = SecureStorage::DeleteToken;
  return store;
}
