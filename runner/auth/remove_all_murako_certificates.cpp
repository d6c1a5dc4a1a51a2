#include "remove_all_murako_certificates.h"

#include <exception>

#include "logger.h"
#include "session_keys.h"

namespace {

void LogCaught(const std::string& what, const std::string& detail) {
  LogError("RemoveAllMurakoCertificates - " + what + " failed: " + detail);
}

}  // namespace

std::vector<std::string> DeleteKeys(const std::vector<std::string>& keys,
                                    const SessionStore& store) {
  const SessionStore with_defaults = WithSessionStoreDefaults(store);
  std::vector<std::string> kept;
  for (const std::string& key : keys) {
    bool deleted = false;
    try {
      deleted = with_defaults.delete_key(key);
    } catch (const std::exception& error) {
      LogError("Deleting " + key + " failed: " + error.what());
    } catch (...) {
      LogError("Deleting " + key + " failed: unknown exception");
    }
    if (!deleted) kept.push_back(key);
  }
  return kept;
}

MurakoCertificateRemoval RemoveAllMurakoCertificates(const SessionStore& store) {
  const SessionStore with_defaults = WithSessionStoreDefaults(store);
  MurakoCertificateRemoval removal;
  try {
    LogInfo("RemoveAllMurakoCertificates - removing all Murako certs from store");
    std::vector<InstalledCertificate> listed = with_defaults.list_certificates();
    removal.listed = static_cast<int>(listed.size());
    removal.kept_keys = DeleteKeys(ThumbprintMappingKeys(listed), with_defaults);
  } catch (const std::exception& error) {
    LogCaught("listing", error.what());
  } catch (...) {
    LogCaught("listing", "unknown exception");
  }
  try {
    removal.certificates_removed = with_defaults.remove_all_certificates();
  } catch (const std::exception& error) {
    LogCaught("removal", error.what());
  } catch (...) {
    LogCaught("removal", "unknown exception");
  }
  LogInfo("RemoveAllMurakoCertificates - removed " + std::to_string(removal.listed) +
          " certificates");
  return removal;
}
