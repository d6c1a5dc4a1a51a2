// The renewal continuation's refresh-token fallback against the signing service double's
// token endpoint (scripts/service-double.sh starts it): a refresh token minted through a code
// exchange renews the session for the REST API; a rotated-out one ends it.
#include <gtest/gtest.h>

#include "captured_log.h"
#include "linking_test_support.h"
#include "murako_api_client.h"
#include "oauth_environment.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "session_active.h"
#include "silent_refresh.h"

namespace {

class SilentRefreshService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running "
                                         "(scripts/service-double.sh start)";
    SecureStorage::DeleteToken(kEnvironmentKey);
  }

  // Tokens of a code exchange stored as a linking leaves them, with an expired session.
  murako::OAuthToken SignIn(const std::string& account, int user_type) {
    const std::string code = control_.NewAuthorizationCode(account);
    std::optional<murako::OAuthToken> token =
        manager_.ExchangeCodeForToken(code, kOAuthRedirectUri, user_type);
    EXPECT_TRUE(token);
    if (!token) return {};
    SecureStorage::StoreToken("oauth_access_token_" + account, token->access_token);
    SecureStorage::StoreToken("oauth_refresh_token_" + account, token->refresh_token);
    SecureStorage::StoreToken("oauth_token_expiry_" + account, "1000");
    return *token;
  }
  SilentRefresh MakeRefresh() {
    SilentRefreshSeams seams;
    seams.refresh = TokenRefresherOf(manager_);
    seams.session_expired = [this] { ++expired_notices_; };
    return SilentRefresh(seams);
  }

  ServiceDoubleControl control_;
  SavedCredentials saved_{LinkingCredentialKeys()};
  OAuthManager manager_{"", kOAuthClientId, kDevelopmentClientSecret};
  int expired_notices_ = 0;
};

TEST_F(SilentRefreshService, StoredRefreshTokenRenewsTheSessionForBothUserTypes) {
  for (const auto& user : {std::make_pair(std::string("ciudadano"), kOAuthCitizen),
                           std::make_pair(std::string("profesional"), kOAuthProfessional)}) {
    SCOPED_TRACE(user.first);
    const murako::OAuthToken signed_in = SignIn(user.first, user.second);
    ASSERT_FALSE(IsSessionActive(user.first));

    SilentRefresh refresh = MakeRefresh();
    refresh.MarkStarted();
    const int64_t before = CurrentUnixSeconds();
    SilentRefreshResult result = refresh.OnSilentRefreshTokenReceived(user.first, std::nullopt);
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
    EXPECT_TRUE(IsSessionActive(user.first));
    std::optional<UserInfo> info =
        MurakoApiClient(GetApiBaseUrl(user.first), result.newToken).GetUserInfo();
    ASSERT_TRUE(info);
  }
}

TEST_F(SilentRefreshService, RejectedRefreshTokenEndsTheSession) {
  const murako::OAuthToken signed_in = SignIn("ciudadano", kOAuthCitizen);
  // Rotating it once makes the stored refresh token one the service no longer accepts.
  ASSERT_TRUE(manager_.RefreshAccessToken(signed_in.refresh_token, kOAuthCitizen));

  SilentRefresh refresh = MakeRefresh();
  refresh.MarkStarted();
  DebugOutputCapture capture;
  SilentRefreshResult result = refresh.OnSilentRefreshTokenReceived("ciudadano", std::nullopt);
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
