#include "session_lifecycle.h"

#include <exception>

#include "cert_store_manager.h"
#include "session_state.h"
#include "logger.h"
#include "secure_storage.h"
#include "sign_in_service.h"

namespace {

bool HasValue(const std::optional<std::string>& token) { return token && !token->empty(); }

}  // namespace

bool HasOrphanedCertificates(size_t certificate_count,
                             const std::optional<std::string>& citizen_access_token,
                             const std::optional<std::string>& professional_access_token) {
  return certificate_count > 0 && !HasValue(citizen_access_token) &&
         !HasValue(professional_access_token);
}

void RemoveOrphanedCertificatesAtStartup() {
  try {
    const size_t count = CertStoreManager::ListInstalledCertificates().size();
    if (count == 0) return;
    if (!HasOrphanedCertificates(count, SecureStorage::GetToken("oauth_access_token_ciudadano"),
                                 SecureStorage::GetToken("oauth_access_token_profesional"))) {
      return;
    }
    LogInfo("Startup cleanup: found " + std::to_string(count) +
            " orphaned certs with no active session - removing");
    CertStoreManager::RemoveAllCertificates();
  } catch (const std::exception& error) {
    LogError(std::string("Startup cleanup failed: ") + error.what());
  }
}

void SignOutOfBothAccounts(SignInService* sign_in, const char* announcement) {
  LogInfo(announcement);
  const auto clear_stored_session = [] {
    try {
      RemoveAllMurakoCertificates();
      DeleteSessionTokens();
      LogInfo("OAuth tokens and certificates cleared on app close");
    } catch (const std::exception& error) {
      LogError(std::string("Sign-out on close failed: ") + error.what());
    }
  };
  try {
    if (sign_in == nullptr) return clear_stored_session();
    sign_in->SignOut(clear_stored_session);
  } catch (const std::exception& error) {
    LogError(std::string("Ending the sign-in browser's session failed: ") + error.what());
  }
}
