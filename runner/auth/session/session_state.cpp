#include "session_state.h"

#include <utility>

#include "guarded_entry.h"
#include "logger.h"
#include "secure_storage.h"

bool IsSessionActive(UserType type, const SecondsClock& clock) {
  return GuardEntry("IsSessionActive failed: ", false, [&] {
    const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
    const std::optional<std::string> access_token = SecureStorage::GetToken(keys.access_token);
    std::optional<std::string> expiry;
    if (access_token && !access_token->empty()) expiry = SecureStorage::GetToken(keys.token_expiry);
    const int64_t now = clock ? clock() : CurrentUnixSeconds();
    const SessionValidity validity = DecideSessionValidity(access_token, expiry, now);
    for (const TokenLogLine& line : validity.log_lines) LogAt(line.level, line.text);
    return validity.active;
  });
}

bool HasStoredSession(UserType type) {
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  for (const std::string& key : {keys.access_token, keys.refresh_token}) {
    const std::optional<std::string> stored = SecureStorage::GetToken(key);
    if (stored && !stored->empty()) return true;
  }
  return false;
}

SessionStore WithSessionStoreDefaults(SessionStore store) {
  if (!store.list_certificates) store.list_certificates = CertStoreManager::ListInstalledCertificates;
  if (!store.remove_all_certificates) {
    store.remove_all_certificates = CertStoreManager::RemoveAllCertificates;
  }
  if (!store.delete_key) store.delete_key = SecureStorage::DeleteToken;
  return store;
}

std::vector<std::string> ThumbprintMappingKeys(
    const std::vector<InstalledCertificate>& certificates) {
  std::vector<std::string> keys;
  for (const InstalledCertificate& certificate : certificates) {
    const ThumbprintMappingKeyPair pair = ThumbprintMappingKeysFor(certificate.thumbprint);
    keys.push_back(pair.sign_identity);
    keys.push_back(pair.user_type);
  }
  return keys;
}

namespace {

std::string CaughtLine(const std::string& step) {
  return "RemoveAllMurakoCertificates - " + step + " failed: ";
}

}  // namespace

std::vector<std::string> DeleteKeys(const std::vector<std::string>& keys,
                                    const SessionStore& store) {
  const SessionStore with_defaults = WithSessionStoreDefaults(store);
  std::vector<std::string> kept;
  for (const std::string& key : keys) {
    const bool deleted = GuardEntry("Deleting " + key + " failed: ", false,
                                    [&] { return with_defaults.delete_key(key); });
    if (!deleted) kept.push_back(key);
  }
  return kept;
}

MurakoCertificateRemoval RemoveAllMurakoCertificates(const SessionStore& store) {
  const SessionStore with_defaults = WithSessionStoreDefaults(store);
  MurakoCertificateRemoval removal;
  GuardEntry(
      [&] {
        LogInfo("RemoveAllMurakoCertificates - removing all Murako certs from store");
        std::vector<InstalledCertificate> listed = with_defaults.list_certificates();
        removal.listed = static_cast<int>(listed.size());
        removal.kept_keys = DeleteKeys(ThumbprintMappingKeys(listed), with_defaults);
      },
      [](const CaughtFailure& caught) { LogEntryFailure(CaughtLine("listing"), caught); });
  removal.certificates_removed = GuardEntry(
      CaughtLine("removal"), false, [&] { return with_defaults.remove_all_certificates(); });
  LogInfo("RemoveAllMurakoCertificates - removed " + std::to_string(removal.listed) +
          " certificates");
  return removal;
}

namespace {

std::string JoinKeys(const std::vector<std::string>& keys) {
  std::string joined;
  for (const std::string& key : keys) joined += (joined.empty() ? "" : ", ") + key;
  return joined;
}

bool ClearEverything(const SessionStore& store) {
  LogInfo("clearOAuthSession called - clearing tokens and certificates");
  const MurakoCertificateRemoval removal = RemoveAllMurakoCertificates(store);
  std::vector<std::string> kept = removal.kept_keys;
  const std::vector<std::string> kept_tokens = DeleteSessionTokens(store);
  kept.insert(kept.end(), kept_tokens.begin(), kept_tokens.end());

  if (removal.certificates_removed && kept.empty()) {
    LogInfo("OAuth tokens and certificates cleared successfully");
    return true;
  }
  if (!removal.certificates_removed) {
    LogError("OAuth session not fully cleared: certificates of the system remain in the store");
  }
  if (!kept.empty()) LogError("OAuth session not fully cleared: still stored: " + JoinKeys(kept));
  return false;
}

}  // namespace

std::vector<std::string> DeleteSessionTokens(const SessionStore& store) {
  return DeleteKeys(SessionTokenKeysInClearingOrder(), store);
}

bool ClearOAuthSession(const SessionStore& store) {
  return GuardEntry("clearOAuthSession failed: ", false, [&] { return ClearEverything(store); });
}

namespace {

// The keys are deleted whatever `removed` says: an account whose certificates could not all
// be removed must not stay signed in.
std::optional<std::string> DeleteAfterRemoval(bool removed, const std::vector<std::string>& keys,
                                              const SessionStore& store) {
  const std::vector<std::string> kept = DeleteKeys(keys, store);
  if (!removed) return std::string("Failed to remove certificates from store");
  if (!kept.empty()) return "Failed to delete " + kept.front();
  return std::nullopt;
}

}  // namespace

std::optional<std::string> DeactivateAccount(UserType type, const SessionStore& store) {
  const SessionStore with_defaults = WithSessionStoreDefaults(store);
  const std::string word = UserTypeWord(type);
  LogInfo("Desactivar " + word +
          " certificate (clear session AND remove certificates from cert store)");
  const bool removed = GuardEntry("Removing the certificates failed: ", false,
                                  [&] { return with_defaults.remove_all_certificates(); });
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  std::optional<std::string> failure = DeleteAfterRemoval(
      removed, {keys.access_token, keys.refresh_token, keys.token_expiry}, with_defaults);
  if (!failure) {
    LogInfo("Successfully deactivated " + word +
            " certificate (tokens cleared, certificates removed from store)");
  }
  return failure;
}

std::vector<std::string> DeleteStoredTokens(UserType type, const SessionStore& store) {
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  return DeleteKeys({keys.access_token, keys.refresh_token}, store);
}

std::optional<std::string> UnlinkAccount(UserType type, const SessionStore& store) {
  const SessionStore with_defaults = WithSessionStoreDefaults(store);
  const std::string word = UserTypeWord(type);
  LogInfo("Desvincular " + word + " certificates");
  const MurakoCertificateRemoval removal = RemoveAllMurakoCertificates(with_defaults);
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  std::optional<std::string> failure = DeleteAfterRemoval(
      removal.certificates_removed,
      {keys.access_token, keys.refresh_token, keys.sign_identities}, with_defaults);
  if (!failure) LogInfo("Successfully unlinked " + word + " certificates");
  return failure;
}
