// Session upkeep with real credential storage: whether a stored session is active, what a
// sign-out deletes and keeps (with a scripted store and with the real personal store), and
// the renewal continuation storing tokens or falling back to a scripted refresh grant.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "captured_log.h"
#include "cert_parser.h"
#include "cert_store_manager.h"
#include "certificate_test_support.h"
#include "clear_oauth_session.h"
#include "linking_test_support.h"
#include "secure_storage.h"
#include "session_active.h"
#include "session_keys.h"
#include "silent_refresh.h"

namespace {

constexpr int64_t kNow = 1765000000;
constexpr int64_t kTicksPerSecond = 10000000;

std::vector<std::string> KeptKeys() {
  return {"murako_user_info_ciudadano", "murako_user_info_profesional",
          "murako_sign_identity_id_ciudadano", "murako_sign_identity_id_profesional",
          "murako_sign_identities_ciudadano", "app_locale", "murako_environment"};
}

std::vector<std::string> AllTestKeys() {
  std::vector<std::string> keys = LinkingCredentialKeys();
  for (const std::string& key : KeptKeys()) keys.push_back(key);
  for (const char* thumbprint : {"AA11", "BB22", "ORPHAN"}) {
    keys.push_back(std::string("sign_identity_by_thumbprint_") + thumbprint);
    keys.push_back(std::string("user_type_by_thumbprint_") + thumbprint);
  }
  return keys;
}

InstalledCertificate Listed(const std::string& thumbprint) {
  InstalledCertificate certificate;
  certificate.thumbprint = thumbprint;
  return certificate;
}

class SessionStorage : public ::testing::Test {
 protected:
  void Store(const std::string& key, const std::string& value) {
    ASSERT_TRUE(SecureStorage::StoreToken(key, value)) << key;
  }
  static bool Has(const std::string& key) { return SecureStorage::GetToken(key).has_value(); }

  // Both user types signed in, two certificates listed and one mapping left by an earlier one.
  void StoreFullSession() {
    for (const char* type : {"ciudadano", "profesional"}) {
      Store(std::string("oauth_access_token_") + type, "access");
      Store(std::string("oauth_refresh_token_") + type, "refresh");
      Store(std::string("oauth_token_expiry_") + type, std::to_string(kNow));
    }
    for (const std::string& key : KeptKeys()) Store(key, "kept");
    for (const char* thumbprint : {"AA11", "BB22", "ORPHAN"}) {
      Store(std::string("sign_identity_by_thumbprint_") + thumbprint, "id");
      Store(std::string("user_type_by_thumbprint_") + thumbprint, "ciudadano");
    }
  }
  SessionStore ScriptedStore(bool remove_all_result = true) {
    SessionStore store;
    store.list_certificates = [] {
      return std::vector<InstalledCertificate>{Listed("AA11"), Listed("BB22")};
    };
    store.remove_all_certificates = [this, remove_all_result] {
      ++remove_all_calls_;
      return remove_all_result;
    };
    return store;
  }

  SavedCredentials saved_{AllTestKeys()};
  int remove_all_calls_ = 0;
};

TEST_F(SessionStorage, StoredSessionIsActiveUntilItsExpirySecond) {
  const SecondsClock clock = [] { return kNow; };
  Store("oauth_access_token_ciudadano", "access");
  Store("oauth_token_expiry_ciudadano", std::to_string(kNow + 1));
  EXPECT_TRUE(IsSessionActive("ciudadano", clock));

  DebugOutputCapture capture;
  Store("oauth_token_expiry_ciudadano", std::to_string(kNow - 100));
  EXPECT_FALSE(IsSessionActive("ciudadano", clock));
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "Token expiry check: EXPIRED (remaining: -100s)"));

  Store("oauth_token_expiry_ciudadano", std::to_string(kNow + 3600) + "garbage");
  EXPECT_FALSE(IsSessionActive("ciudadano", clock));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "Failed to parse token expiry: invalid stoll argument"));

  // The user types do not share a session, and the real clock puts a 2026 expiry in the past.
  SecureStorage::DeleteToken("oauth_access_token_profesional");
  Store("oauth_token_expiry_profesional", std::to_string(kNow + 3600));
  EXPECT_FALSE(IsSessionActive("profesional"));
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "No access token found, session is inactive"));
  Store("oauth_access_token_profesional", "access");
  Store("oauth_token_expiry_profesional", std::to_string(CurrentUnixSeconds() + 600));
  EXPECT_TRUE(IsSessionActive("profesional"));
}

TEST_F(SessionStorage, SignOutDeletesTokensAndListedMappingsInOrderAndKeepsTheRest) {
  StoreFullSession();
  DebugOutputCapture capture;
  EXPECT_TRUE(ClearOAuthSession(ScriptedStore()));
  EXPECT_EQ(remove_all_calls_, 1);

  for (const std::string& key : SessionTokenKeysInClearingOrder()) EXPECT_FALSE(Has(key)) << key;
  for (const char* thumbprint : {"AA11", "BB22"}) {
    EXPECT_FALSE(Has(std::string("sign_identity_by_thumbprint_") + thumbprint));
    EXPECT_FALSE(Has(std::string("user_type_by_thumbprint_") + thumbprint));
  }
  // Not in the store any more, so not found by the walk.
  EXPECT_TRUE(Has("sign_identity_by_thumbprint_ORPHAN"));
  EXPECT_TRUE(Has("user_type_by_thumbprint_ORPHAN"));
  for (const std::string& key : KeptKeys()) EXPECT_EQ(SecureStorage::GetToken(key), "kept") << key;

  const std::string deleting = "] [INFO] SecureStorage::DeleteToken - Deleting token for key: ";
  EXPECT_TRUE(LoggedInOrder(
      capture,
      {"] [INFO] clearOAuthSession called - clearing tokens and certificates",
       "] [INFO] RemoveAllMurakoCertificates - removing all Murako certs from store",
       deleting + "sign_identity_by_thumbprint_AA11", deleting + "user_type_by_thumbprint_AA11",
       deleting + "sign_identity_by_thumbprint_BB22", deleting + "user_type_by_thumbprint_BB22",
       "] [INFO] RemoveAllMurakoCertificates - removed 2 certificates",
       deleting + "oauth_access_token_ciudadano", deleting + "oauth_refresh_token_ciudadano",
       deleting + "oauth_token_expiry_ciudadano", deleting + "oauth_access_token_profesional",
       deleting + "oauth_refresh_token_profesional", deleting + "oauth_token_expiry_profesional",
       "] [INFO] OAuth tokens and certificates cleared successfully"}));

  // Signing out again, with nothing left, is still a success.
  EXPECT_TRUE(ClearOAuthSession(ScriptedStore()));
}

TEST_F(SessionStorage, SignOutGoesOnPastFailuresButDoesNotReportThemAsSuccess) {
  StoreFullSession();
  SessionStore store = ScriptedStore(false);
  store.delete_key = [](const std::string& key) {
    if (key == "oauth_refresh_token_ciudadano") return false;
    if (key == "user_type_by_thumbprint_AA11") throw std::runtime_error("credential store broke");
    return SecureStorage::DeleteToken(key);
  };
  DebugOutputCapture capture;
  EXPECT_FALSE(ClearOAuthSession(store));
  EXPECT_EQ(remove_all_calls_, 1);
  EXPECT_TRUE(Has("oauth_refresh_token_ciudadano"));
  EXPECT_TRUE(Has("user_type_by_thumbprint_AA11"));
  for (const char* key : {"oauth_access_token_ciudadano", "oauth_token_expiry_ciudadano",
                          "oauth_access_token_profesional", "oauth_refresh_token_profesional",
                          "oauth_token_expiry_profesional", "sign_identity_by_thumbprint_BB22"}) {
    EXPECT_FALSE(Has(key)) << key;
  }
  EXPECT_FALSE(LoggedContaining(capture, "OAuth tokens and certificates cleared successfully"));
  EXPECT_TRUE(LoggedExactly(
      capture, "ERROR",
      "OAuth session not fully cleared: certificates of the system remain in the store"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR",
                            "OAuth session not fully cleared: still stored: "
                            "user_type_by_thumbprint_AA11, oauth_refresh_token_ciudadano"));
}

TEST_F(SessionStorage, SignOutEmptiesThePersonalStoreOfTheSystemsCertificates) {
  CertStoreManager::RemoveAllCertificates();
  std::string thumbprint;
  ASSERT_TRUE(CertStoreManager::AddCertificate(
      CertParser::ParseCertificateFromDER(FixtureDer("citizen")).value(), "cit-1", "access",
      "ciudadano", thumbprint));
  ASSERT_EQ(CertStoreManager::ListInstalledCertificates().size(), 1u);
  SavedCredentials mappings{{"sign_identity_by_thumbprint_" + thumbprint,
                             "user_type_by_thumbprint_" + thumbprint}};
  EXPECT_TRUE(Has("sign_identity_by_thumbprint_" + thumbprint));

  DebugOutputCapture capture;
  EXPECT_TRUE(ClearOAuthSession());
  EXPECT_TRUE(CertStoreManager::ListInstalledCertificates().empty());
  EXPECT_FALSE(Has("sign_identity_by_thumbprint_" + thumbprint));
  EXPECT_FALSE(Has("user_type_by_thumbprint_" + thumbprint));
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "RemoveAllMurakoCertificates - removed 1 certificates"));
}

// The renewal continuation with a scripted refresh grant.
class RenewalContinuation : public SessionStorage {
 protected:
  SilentRefresh MakeRefresh(std::optional<murako::OAuthToken> refreshed) {
    SilentRefreshSeams seams;
    seams.refresh = [this, refreshed](const std::string& refresh_token, int user_type) {
      grants_.push_back({refresh_token, user_type});
      return refreshed;
    };
    seams.session_expired = [this] { ++expired_notices_; };
    seams.token_clock = [] { return kNow * kTicksPerSecond + 5; };
    return SilentRefresh(seams);
  }
  static murako::OAuthToken Token(const std::string& access, const std::string& refresh) {
    murako::OAuthToken token;
    token.access_token = access;
    token.refresh_token = refresh;
    token.expires_in = 1800;
    return token;
  }

  std::vector<std::pair<std::string, int>> grants_;
  int expired_notices_ = 0;
};

TEST_F(RenewalContinuation, RenewedTokenIsStoredWithItsExpiry) {
  Store("oauth_refresh_token_ciudadano", "old-refresh");
  SilentRefresh refresh = MakeRefresh(std::nullopt);
  refresh.MarkStarted();
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived("ciudadano", Token("new-access", ""));
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.message, "Token refreshed successfully");
  EXPECT_EQ(result.newToken, "new-access");
  EXPECT_FALSE(refresh.IsInProgress());
  EXPECT_TRUE(grants_.empty());
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), "new-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"), "old-refresh");
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_ciudadano"), std::to_string(kNow + 1800));
  EXPECT_TRUE(LoggedInOrder(
      capture, {"] [INFO] OAuth flow completed - flag reset",
                "] [INFO] \xE2\x9C\x85 Silent OAuth refresh successful!",
                "] [INFO] Storing refreshed access token in Credential Manager...",
                "] [INFO] Refreshed access token stored successfully",
                "] [INFO] [TOAST OAUTH] Token renovado (ciudadano)",
                "] [INFO] Token expiry updated (expires in 1800 seconds)",
                "] [INFO] DEBUG: WebView kept VISIBLE after token renewal"}));
  EXPECT_FALSE(LoggedContaining(capture, "Storing refreshed refresh token"));

  SilentRefreshResult rotated =
      refresh.OnSilentRefreshTokenReceived("profesional", Token("pro-access", "pro-refresh"));
  EXPECT_TRUE(rotated.success);
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_profesional"), "pro-refresh");
  EXPECT_TRUE(LoggedInOrder(capture, {"] [INFO] Storing refreshed refresh token in Credential Manager...",
                                      "] [INFO] Refreshed refresh token stored successfully"}));
}

TEST_F(RenewalContinuation, FailedRenewalFallsBackToTheStoredRefreshToken) {
  Store("oauth_access_token_profesional", "old-access");
  Store("oauth_refresh_token_profesional", "stored-refresh");
  SilentRefresh refresh = MakeRefresh(Token("fallback-access", "rotated-refresh"));
  DebugOutputCapture capture;
  SilentRefreshResult result = refresh.OnSilentRefreshTokenReceived("profesional", std::nullopt);
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.message, "Token refreshed via refresh_token fallback");
  EXPECT_EQ(result.newToken, "fallback-access");
  ASSERT_EQ(grants_.size(), 1u);
  EXPECT_EQ(grants_[0], std::make_pair(std::string("stored-refresh"), 1));
  EXPECT_EQ(expired_notices_, 0);
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_profesional"), "fallback-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_profesional"), "rotated-refresh");
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_profesional"), std::to_string(kNow + 1800));
  EXPECT_TRUE(LoggedInOrder(
      capture, {"] [ERROR] Silent OAuth refresh via WebView failed - no token received",
                "] [INFO] Attempting HTTP-based refresh_token fallback...",
                "] [INFO] HTTP-based refresh_token fallback SUCCEEDED!",
                "] [INFO] [TOAST OAUTH] Token renovado via refresh_token (profesional)"}));
}

TEST_F(RenewalContinuation, BothRenewalsFailingReportAnExpiredSessionAndKeepTheStoredTokens) {
  Store("oauth_access_token_ciudadano", "old-access");
  Store("oauth_token_expiry_ciudadano", "123");
  Store("oauth_refresh_token_ciudadano", "stale-refresh");
  SilentRefresh refresh = MakeRefresh(std::nullopt);
  DebugOutputCapture capture;
  SilentRefreshResult result = refresh.OnSilentRefreshTokenReceived("ciudadano", std::nullopt);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(result.newToken, "");
  EXPECT_EQ(grants_.size(), 1u);
  EXPECT_EQ(expired_notices_, 1);
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), "old-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_ciudadano"), "123");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "HTTP-based refresh_token fallback also failed"));

  // No refresh token stored: no grant is attempted.
  SecureStorage::DeleteToken("oauth_refresh_token_ciudadano");
  SilentRefreshResult without = refresh.OnSilentRefreshTokenReceived("ciudadano", std::nullopt);
  EXPECT_EQ(without.message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(grants_.size(), 1u);
  EXPECT_EQ(expired_notices_, 2);
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "No stored refresh_token available for fallback"));
}

TEST_F(RenewalContinuation, ARefreshGrantThatThrowsIsAFailedFallback) {
  Store("oauth_refresh_token_ciudadano", "stored-refresh");
  SilentRefreshSeams seams;
  seams.refresh = [](const std::string&, int) -> std::optional<murako::OAuthToken> {
    throw std::runtime_error("transport exploded");
  };
  int notices = 0;
  seams.session_expired = [&notices] { ++notices; };
  SilentRefresh refresh(seams);
  refresh.MarkStarted();
  SilentRefreshResult result = refresh.OnSilentRefreshTokenReceived("ciudadano", std::nullopt);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(notices, 1);
  EXPECT_FALSE(refresh.IsInProgress());
}

TEST_F(RenewalContinuation, AnAccessTokenThatCannotBeStoredLeavesTheOldExpiry) {
  // A new expiry next to the old access token would make the old token look valid.
  Store("oauth_access_token_ciudadano", "old-access");
  Store("oauth_token_expiry_ciudadano", "123");
  SilentRefreshSeams seams;
  seams.store_token = [](const std::string& key, const std::string& value) {
    return key != "oauth_access_token_ciudadano" && SecureStorage::StoreToken(key, value);
  };
  SilentRefresh refresh(seams);
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived("ciudadano", Token("new-access", "new-refresh"));
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.newToken, "new-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), "old-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"), "new-refresh");
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_ciudadano"), "123");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Failed to store refreshed access token"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "[TOAST OAUTH] Error guardando token renovado"));
  EXPECT_FALSE(LoggedContaining(capture, "Token expiry updated"));
}

}  // namespace
