// Silent renewal: the one-renewal-at-a-time guard with its time bound, the continuation
// storing tokens or falling back to a scripted refresh grant with real credential storage, and
// the refresh-token fallback against the signing service double's token endpoint.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "auth_vocabulary.h"
#include "captured_log.h"
#include "murako_api_client.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "saved_credentials.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "session_state.h"
#include "silent_refresh.h"

namespace {

class RenewalGuard : public ::testing::Test {
 protected:
  SilentRefresh MakeRefresh() {
    SilentRefreshSeams seams;
    seams.elapsed_ms = [this] { return now_ms_; };
    return SilentRefresh([] {}, seams);
  }
  int64_t now_ms_ = 1000;
};

TEST_F(RenewalGuard, SecondRenewalIsRefusedUntilTheContinuationRuns) {
  SilentRefresh refresh = MakeRefresh();
  DebugOutputCapture capture;
  EXPECT_FALSE(refresh.CheckCanStart());
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "\xF0\x9F\x94\x84 [POC] Refreshing token silently with OAuth flow..."));
  const SilentRenewal renewal = refresh.MarkStarted(nullptr);
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "OAuth flow started - flag set to prevent concurrency"));

  now_ms_ += 60000;
  std::optional<SilentRefreshResult> refused = refresh.CheckCanStart();
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->success);
  EXPECT_EQ(refused->message, "Token refresh already in progress. Please wait.");
  EXPECT_EQ(refused->newToken, "");
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "OAuth flow already in progress - rejecting concurrent request"));

  // A renewal that was refused leaves the pending one as it was.
  EXPECT_TRUE(refresh.IsInProgress());
  // The session-expired path of a continuation without any token or refresh token clears it.
  refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, std::nullopt);
  EXPECT_FALSE(refresh.IsInProgress());
  EXPECT_FALSE(refresh.CheckCanStart());
}

TEST_F(RenewalGuard, ARenewalThatNeverCompletesStopsBlockingAfterTheBound) {
  // Three proxy strategies within the WinHTTP time-outs (15+15+30+30 s) and the navigation.
  EXPECT_EQ(SilentRefreshStaleAfterMs(), 3 * 90000 + 30000);
  SilentRefresh refresh = MakeRefresh();
  refresh.MarkStarted(nullptr);
  now_ms_ += SilentRefreshStaleAfterMs() - 1;
  EXPECT_TRUE(refresh.CheckCanStart());

  now_ms_ += 1;
  DebugOutputCapture capture;
  EXPECT_FALSE(refresh.IsInProgress());
  EXPECT_FALSE(refresh.CheckCanStart());
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Previous silent refresh never completed - flag reset after 300s"));
  refresh.MarkStarted(nullptr);
  EXPECT_TRUE(refresh.CheckCanStart());
}

TEST_F(RenewalGuard, ALateContinuationOfAnAbandonedRenewalLeavesTheNewerOnePending) {
  SilentRefresh refresh = MakeRefresh();
  const SilentRenewal abandoned = refresh.MarkStarted(nullptr);
  now_ms_ += SilentRefreshStaleAfterMs();
  EXPECT_FALSE(refresh.CheckCanStart());
  const SilentRenewal newer = refresh.MarkStarted(nullptr);

  DebugOutputCapture capture;
  refresh.OnSilentRefreshTokenReceived(abandoned, UserType::kCitizen, std::nullopt);
  EXPECT_TRUE(refresh.IsInProgress());
  EXPECT_TRUE(refresh.CheckCanStart());
  EXPECT_FALSE(LoggedContaining(capture, "OAuth flow completed - flag reset"));

  refresh.OnSilentRefreshTokenReceived(newer, UserType::kCitizen, std::nullopt);
  EXPECT_FALSE(refresh.IsInProgress());
}

TEST(SilentRefreshAnswers, NoBrowserToRenewThrough) {
  DebugOutputCapture capture;
  const SilentRefreshResult result = SilentRefresh::WebViewUnavailable();
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "WebView not available. Please login first.");
  EXPECT_EQ(result.newToken, "");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "OAuth WebView not available - user must login first"));
}

constexpr int64_t kNow = 1765000000;

// The renewal continuation with real credential storage and a scripted refresh grant.
class RenewalContinuation : public ::testing::Test {
 protected:
  // Tokens are stored as a sign-in in development leaves them.
  void SetUp() override {
    SecureStorage::DeleteToken(kEnvironmentKey);
    for (const char* type : {"ciudadano", "profesional"}) {
      Store(std::string("oauth_token_environment_") + type, "desa");
    }
  }
  void Store(const std::string& key, const std::string& value) {
    ASSERT_TRUE(SecureStorage::StoreToken(key, value)) << key;
  }
  SilentRefresh MakeRefresh(std::optional<murako::OAuthToken> refreshed) {
    refreshed_ = std::move(refreshed);
    SilentRefreshSeams seams;
    seams.token_clock = [] { return kNow * kTokenTicksPerSecond + 5; };
    return SilentRefresh([this] { ++expired_notices_; }, seams);
  }
  // A renewal whose refresh grant is scripted.
  SilentRenewal Start(SilentRefresh& refresh) {
    return refresh.MarkStarted([this](const std::string& refresh_token, UserType type) {
      grants_.push_back({refresh_token, type});
      return refreshed_;
    });
  }
  static murako::OAuthToken Token(const std::string& access, const std::string& refresh) {
    murako::OAuthToken token;
    token.access_token = access;
    token.refresh_token = refresh;
    token.expires_in = 1800;
    return token;
  }

  SavedCredentials saved_{LinkingCredentialKeys()};
  std::optional<murako::OAuthToken> refreshed_;
  std::vector<std::pair<std::string, UserType>> grants_;
  int expired_notices_ = 0;
};

TEST_F(RenewalContinuation, RenewedTokenIsStoredWithItsExpiry) {
  Store("oauth_refresh_token_ciudadano", "old-refresh");
  SilentRefresh refresh = MakeRefresh(std::nullopt);
  const SilentRenewal renewal = Start(refresh);
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, Token("new-access", ""));
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
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kProfessional,
                                           Token("pro-access", "pro-refresh"));
  EXPECT_TRUE(rotated.success);
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_profesional"), "pro-refresh");
  EXPECT_TRUE(LoggedInOrder(capture, {"] [INFO] Storing refreshed refresh token in Credential Manager...",
                                      "] [INFO] Refreshed refresh token stored successfully"}));
}

TEST_F(RenewalContinuation, FailedRenewalFallsBackToTheStoredRefreshToken) {
  Store("oauth_access_token_profesional", "old-access");
  Store("oauth_refresh_token_profesional", "stored-refresh");
  SilentRefresh refresh = MakeRefresh(Token("fallback-access", "rotated-refresh"));
  const SilentRenewal renewal = Start(refresh);
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kProfessional, std::nullopt);
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.message, "Token refreshed via refresh_token fallback");
  EXPECT_EQ(result.newToken, "fallback-access");
  ASSERT_EQ(grants_.size(), 1u);
  EXPECT_EQ(grants_[0], std::make_pair(std::string("stored-refresh"), UserType::kProfessional));
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

TEST_F(RenewalContinuation, ARenewalDisarmedBySignOutRenewsAndStoresNothing) {
  SecureStorage::DeleteToken("oauth_access_token_ciudadano");
  Store("oauth_refresh_token_ciudadano", "stored-refresh");
  SilentRefresh refresh = MakeRefresh(Token("fallback-access", "rotated-refresh"));
  const SilentRenewal failed = Start(refresh);
  refresh.Disarm();
  EXPECT_FALSE(refresh.IsInProgress());
  DebugOutputCapture capture;
  const SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(failed, UserType::kCitizen, std::nullopt);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(result.newToken, "");
  EXPECT_TRUE(grants_.empty()) << "no refresh-token grant after a sign-out";
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Silent refresh ended by a sign-out - nothing renewed or stored"));

  // A token the browser brought back before the sign-out is not stored either.
  const SilentRenewal renewed = Start(refresh);
  refresh.Disarm();
  EXPECT_EQ(refresh.OnSilentRefreshTokenReceived(renewed, UserType::kCitizen, Token("late", "r")).newToken,
            "");
  EXPECT_FALSE(SecureStorage::GetToken("oauth_access_token_ciudadano"));
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"), "stored-refresh");
  EXPECT_EQ(expired_notices_, 0);

  // Renewals started after the sign-out work as before.
  const SilentRenewal later = Start(refresh);
  EXPECT_TRUE(refresh.OnSilentRefreshTokenReceived(later, UserType::kCitizen, std::nullopt).success);
}

TEST_F(RenewalContinuation, TheFallbackKeepsARefreshTokenInItsEnvironment) {
  SecureStorage::DeleteToken("murako_environment");
  Store("oauth_refresh_token_profesional", "production-refresh");
  Store("oauth_token_environment_profesional", "prod");
  SilentRefresh refresh = MakeRefresh(Token("fallback-access", ""));
  DebugOutputCapture capture;
  EXPECT_FALSE(refresh.OnSilentRefreshTokenReceived(Start(refresh), UserType::kProfessional, std::nullopt)
                   .success);
  EXPECT_TRUE(grants_.empty()) << "the production refresh token went to development";
  EXPECT_TRUE(LoggedExactly(capture, "ERROR",
                            "The tokens of profesional were obtained in the prod environment - "
                            "not sent to the desa hosts"));

  // In its own environment it renews, and the renewed tokens are recorded there.
  Store("murako_environment", "prod");
  EXPECT_TRUE(refresh.OnSilentRefreshTokenReceived(Start(refresh), UserType::kProfessional, std::nullopt)
                  .success);
  EXPECT_EQ(grants_.size(), 1u);
  Store("murako_environment", "desa");
  refresh.OnSilentRefreshTokenReceived(Start(refresh), UserType::kCitizen, Token("citizen", ""));
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_environment_ciudadano"), "desa");
}

TEST_F(RenewalContinuation, BothRenewalsFailingReportAnExpiredSessionAndKeepTheStoredTokens) {
  Store("oauth_access_token_ciudadano", "old-access");
  Store("oauth_token_expiry_ciudadano", "123");
  Store("oauth_refresh_token_ciudadano", "stale-refresh");
  SilentRefresh refresh = MakeRefresh(std::nullopt);
  const SilentRenewal renewal = Start(refresh);
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, std::nullopt);
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
  SilentRefreshResult without =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, std::nullopt);
  EXPECT_EQ(without.message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(grants_.size(), 1u);
  EXPECT_EQ(expired_notices_, 2);
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "No stored refresh_token available for fallback"));
}

TEST_F(RenewalContinuation, ARefreshGrantThatThrowsIsAFailedFallback) {
  Store("oauth_refresh_token_ciudadano", "stored-refresh");
  int notices = 0;
  SilentRefresh refresh([&notices] { ++notices; });
  const SilentRenewal renewal =
      refresh.MarkStarted([](const std::string&, UserType) -> std::optional<murako::OAuthToken> {
        throw std::runtime_error("transport exploded");
      });
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, std::nullopt);
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
  SilentRefresh refresh([] {}, seams);
  const SilentRenewal renewal = refresh.MarkStarted(nullptr);
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, Token("new-access", "new-refresh"));
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.newToken, "new-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), "old-access");
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"), "new-refresh");
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_ciudadano"), "123");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Failed to store refreshed access token"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "[TOAST OAUTH] Error guardando token renovado"));
  EXPECT_FALSE(LoggedContaining(capture, "Token expiry updated"));
}

// Tokens whose environment cannot be recorded would go to no host: they are withdrawn, and the
// renewal is answered as failed.
TEST_F(RenewalContinuation, TokensWhoseEnvironmentCannotBeRecordedAreWithdrawn) {
  SilentRefreshSeams seams;
  seams.store_token = [](const std::string& key, const std::string& value) {
    return key != "oauth_token_environment_ciudadano" && SecureStorage::StoreToken(key, value);
  };
  SilentRefresh refresh([] {}, seams);
  EXPECT_FALSE(refresh.OnSilentRefreshTokenReceived(refresh.MarkStarted(nullptr), UserType::kCitizen,
                                                    Token("new-access", "new-refresh")).success);
  EXPECT_FALSE(SecureStorage::GetToken("oauth_access_token_ciudadano"));
  EXPECT_FALSE(SecureStorage::GetToken("oauth_refresh_token_ciudadano"));
}

class SilentRefreshService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running "
                                         "(scripts/service-double.sh start)";
    SecureStorage::DeleteToken(kEnvironmentKey);
  }

  // Tokens of a code exchange stored as a linking leaves them, with an expired session.
  murako::OAuthToken SignIn(const std::string& account, UserType type) {
    const std::string code = control_.NewAuthorizationCode(account);
    std::optional<murako::OAuthToken> token =
        manager_->ExchangeCodeForToken(code, kOAuthRedirectUri, OAuthUserTypeNumber(type));
    EXPECT_TRUE(token);
    if (!token) return {};
    SecureStorage::StoreToken("oauth_access_token_" + account, token->access_token);
    SecureStorage::StoreToken("oauth_refresh_token_" + account, token->refresh_token);
    SecureStorage::StoreToken("oauth_token_expiry_" + account, "1000");
    SecureStorage::StoreToken("oauth_token_environment_" + account, "desa");
    return *token;
  }
  SilentRefresh MakeRefresh() {
    return SilentRefresh([this] { ++expired_notices_; });
  }

  ServiceDoubleControl control_;
  SavedCredentials saved_{LinkingCredentialKeys()};
  std::shared_ptr<OAuthManager> manager_ =
      std::make_shared<OAuthManager>("", kOAuthClientId, kDevelopmentClientSecret);
  int expired_notices_ = 0;
};

TEST_F(SilentRefreshService, StoredRefreshTokenRenewsTheSessionForBothUserTypes) {
  for (const auto& user : {std::make_pair(std::string("ciudadano"), UserType::kCitizen),
                           std::make_pair(std::string("profesional"), UserType::kProfessional)}) {
    SCOPED_TRACE(user.first);
    const murako::OAuthToken signed_in = SignIn(user.first, user.second);
    ASSERT_FALSE(IsSessionActive(user.second));

    SilentRefresh refresh = MakeRefresh();
    const SilentRenewal renewal = refresh.MarkStarted(TokenRefresherOf(manager_));
    // "setEnvironment" replaces the manager meanwhile, here with one the service refuses: the
    // renewal completes with the manager it started with.
    const std::shared_ptr<OAuthManager> started_with = manager_;
    manager_ = std::make_shared<OAuthManager>("", kOAuthClientId, "not-the-secret");
    const int64_t before = CurrentUnixSeconds();
    SilentRefreshResult result =
        refresh.OnSilentRefreshTokenReceived(renewal, user.second, std::nullopt);
    manager_ = started_with;
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.message, "Token refreshed via refresh_token fallback");
    EXPECT_FALSE(result.newToken.empty());
    EXPECT_NE(result.newToken, signed_in.access_token);
    EXPECT_EQ(expired_notices_, 0);

    // What the signing bridge and the status methods read now is the renewed session.
    EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_" + user.first), result.newToken);
    const std::string rotated =
        SecureStorage::GetToken("oauth_refresh_token_" + user.first).value_or("");
    EXPECT_FALSE(rotated.empty());
    EXPECT_NE(rotated, signed_in.refresh_token);
    const int64_t expiry =
        std::stoll(SecureStorage::GetToken("oauth_token_expiry_" + user.first).value_or("0"));
    EXPECT_GE(expiry, before + 3600);
    EXPECT_LE(expiry, CurrentUnixSeconds() + 3600);
    EXPECT_TRUE(IsSessionActive(user.second));
    std::optional<UserInfo> info =
        MurakoApiClient(GetApiBaseUrl(user.second), result.newToken).GetUserInfo();
    ASSERT_TRUE(info);
  }
}

TEST_F(SilentRefreshService, RejectedRefreshTokenEndsTheSession) {
  const murako::OAuthToken signed_in = SignIn("ciudadano", UserType::kCitizen);
  // Rotating it once makes the stored refresh token one the service no longer accepts.
  ASSERT_TRUE(manager_->RefreshAccessToken(signed_in.refresh_token, kOAuthCitizen));

  SilentRefresh refresh = MakeRefresh();
  const SilentRenewal renewal = refresh.MarkStarted(TokenRefresherOf(manager_));
  DebugOutputCapture capture;
  SilentRefreshResult result =
      refresh.OnSilentRefreshTokenReceived(renewal, UserType::kCitizen, std::nullopt);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(result.newToken, "");
  EXPECT_EQ(expired_notices_, 1);
  EXPECT_FALSE(refresh.IsInProgress());
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), signed_in.access_token);
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_ciudadano"), "1000");
  EXPECT_TRUE(LoggedInOrder(
      capture, {"] [ERROR] Silent OAuth refresh via WebView failed - no token received",
                "] [INFO] Attempting HTTP-based refresh_token fallback...",
                "] [INFO] Refreshing access token",
                "] [ERROR] HTTP-based refresh_token fallback also failed"}));
}

}  // namespace
