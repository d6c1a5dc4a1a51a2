// OAuthManager against the signing service double's token endpoint over real TLS
// (scripts/service-double.sh starts it): both grants for both user types, the tokens working
// with the REST API, OAuth error answers, faults, a closed port, and production's
// server-certificate checks in fresh processes.
#include <gtest/gtest.h>

#include "captured_log.h"
#include "murako_api_client.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "test_environment.h"
#include "token_clock.h"
#include "token_request_body.h"

namespace {

struct UserTypeCase {
  int user_type;
  const char* account;
  const char* development_host_label;
};

const UserTypeCase kUserTypes[] = {
    {kOAuthCitizen, "ciudadano", "citizen-development"},
    {kOAuthProfessional, "profesional", "professional-development"},
};

class AuthService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running "
                                         "(scripts/service-double.sh start)";
    SecureStorage::DeleteToken(kEnvironmentKey);
  }
  void TearDown() override { SecureStorage::DeleteToken(kEnvironmentKey); }

  static OAuthManager DevelopmentManager() {
    return OAuthManager("", kOAuthClientId, kDevelopmentClientSecret);
  }
  std::string Dni(const std::string& account) {
    return control_.Accounts()["accounts"][account]["dni"].get<std::string>();
  }
  std::optional<UserInfo> UserInfoWith(const std::string& account, const std::string& token) {
    return MurakoApiClient(GetApiBaseUrl(account), token).GetUserInfo();
  }

  ServiceDoubleControl control_;
};

TEST_F(AuthService, CodeExchangeAndRefreshForBothUserTypes) {
  for (const UserTypeCase& user : kUserTypes) {
    SCOPED_TRACE(user.account);
    const std::string code = control_.NewAuthorizationCode(user.account);
    ASSERT_FALSE(code.empty());
    const int64_t before = CurrentTokenTime();
    auto token = DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, user.user_type);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->token_type, "Bearer");
    EXPECT_EQ(token->expires_in, 3600);
    EXPECT_FALSE(token->refresh_token.empty());
    EXPECT_GE(token->obtained_at, before);
    EXPECT_LE(token->obtained_at, CurrentTokenTime());

    // What reached the service: one form POST to the user type's development host.
    auto seen = control_.Requests(code);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["host"], user.development_host_label);
    EXPECT_EQ(seen[0]["method"], "POST");
    EXPECT_EQ(seen[0]["path"], kOAuthTokenPath);
    EXPECT_EQ(seen[0]["headers"]["Content-Type"], "application/x-www-form-urlencoded");
    EXPECT_EQ(seen[0]["headers"]["User-Agent"], "Murako Windows Client/1.0");
    EXPECT_EQ(seen[0]["body"], AuthorizationCodeGrantBody(code, kOAuthRedirectUri, "lumetra",
                                                          "8rw3mc5_x2fdk7"));

    // The token signs the account's REST requests in.
    auto info = UserInfoWith(user.account, token->access_token);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dni, Dni(user.account));

    auto refreshed = DevelopmentManager().RefreshAccessToken(token->refresh_token, user.user_type);
    ASSERT_TRUE(refreshed);
    EXPECT_NE(refreshed->access_token, token->access_token);
    EXPECT_NE(refreshed->refresh_token, token->refresh_token);  // the double rotates them
    auto refreshed_info = UserInfoWith(user.account, refreshed->access_token);
    ASSERT_TRUE(refreshed_info);
    EXPECT_EQ(refreshed_info->dni, Dni(user.account));
    EXPECT_EQ(control_.Requests(token->refresh_token)[0]["body"],
              "grant_type=refresh_token&refresh_token=" + token->refresh_token +
                  "&client_id=lumetra&client_secret=8rw3mc5_x2fdk7");

    // The rotated-out refresh token no longer works.
    EXPECT_FALSE(DevelopmentManager().RefreshAccessToken(token->refresh_token, user.user_type));
  }
}

TEST_F(AuthService, RefreshAnswerWithoutARefreshTokenKeepsTheOldOne) {
  const std::string code = control_.NewAuthorizationCode("ciudadano", {{"rotate_refresh", false}});
  auto token = DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen);
  ASSERT_TRUE(token);
  DebugOutputCapture capture;
  auto refreshed = DevelopmentManager().RefreshAccessToken(token->refresh_token, kOAuthCitizen);
  ASSERT_TRUE(refreshed);
  EXPECT_EQ(refreshed->refresh_token, token->refresh_token);
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "   \xE2\x9C\x85 Refresh token maintained: " +
                                token->refresh_token.substr(0, 20) + "..."));
  // And it still refreshes.
  EXPECT_TRUE(DevelopmentManager().RefreshAccessToken(refreshed->refresh_token, kOAuthCitizen));

  const std::string no_refresh = control_.NewAuthorizationCode("profesional",
                                                               {{"issue_refresh", false}});
  DebugOutputCapture exchange_capture;
  auto bare = DevelopmentManager().ExchangeCodeForToken(no_refresh, kOAuthRedirectUri,
                                                        kOAuthProfessional);
  ASSERT_TRUE(bare);
  EXPECT_TRUE(bare->refresh_token.empty());
  EXPECT_TRUE(LoggedContaining(exchange_capture, "No refresh token in response"));
}

TEST_F(AuthService, OAuthErrorAnswersGiveNoTokenAfterOneAttempt) {
  const std::string code = control_.NewAuthorizationCode("ciudadano");
  {
    // The development host refuses the production secret and keeps the code unused.
    DebugOutputCapture capture;
    OAuthManager wrong_secret("", kOAuthClientId, kProductionClientSecret);
    EXPECT_FALSE(wrong_secret.ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen));
    EXPECT_TRUE(LoggedExactly(capture, "ERROR", "No access_token in response"));
    EXPECT_FALSE(LoggedContaining(capture, "retrying with DEFAULT_PROXY"));
  }
  EXPECT_FALSE(DevelopmentManager().ExchangeCodeForToken(code, "https://elsewhere.example/cb",
                                                         kOAuthCitizen));
  ASSERT_TRUE(DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen));
  DebugOutputCapture capture;
  EXPECT_FALSE(DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen));
  EXPECT_FALSE(DevelopmentManager().ExchangeCodeForToken("no-such-code", kOAuthRedirectUri,
                                                         kOAuthCitizen));
  EXPECT_FALSE(DevelopmentManager().RefreshAccessToken("no-such-refresh-token", kOAuthCitizen));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "No access_token in refresh response"));
  EXPECT_EQ(control_.Requests(code).size(), 4u);  // one attempt per exchange

  // The body of a 400 answer is the transport's result all the same.
  const std::string host = DeploymentServiceHosts().citizen_development;
  auto answer = DevelopmentManager().HttpPost(
      std::wstring(host.begin(), host.end()), kOAuthTokenPath,
      "grant_type=password&client_id=lumetra&client_secret=8rw3mc5_x2fdk7", 8082);
  ASSERT_TRUE(answer);
  EXPECT_EQ(nlohmann::json::parse(*answer).value("error", ""), "unsupported_grant_type");
}

TEST_F(AuthService, FaultsOnTheTokenEndpoint) {
  const std::string code = control_.NewAuthorizationCode("ciudadano");
  control_.AddFault({{"kind", "status"}, {"status", 502}, {"body", "<html>Bad Gateway</html>"},
                     {"token", code}});
  {
    DebugOutputCapture capture;
    EXPECT_FALSE(DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri,
                                                           kOAuthCitizen));
    EXPECT_TRUE(LoggedContaining(capture, "Failed to parse JSON response: parse error"));
    EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Response was: <html>Bad Gateway</html>"));
  }
  // A reset connection moves on to the next strategy, which gets the answer.
  control_.AddFault({{"kind", "reset"}, {"token", code}});
  DebugOutputCapture capture;
  auto token = DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen);
  EXPECT_TRUE(token);
  EXPECT_TRUE(LoggedContaining(capture, "  WinHttpReceiveResponse failed: "));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "AUTOMATIC_PROXY failed, retrying with DEFAULT_PROXY..."));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "  SSL certificate validation DISABLED (development mode)"));
  control_.ClearFaults(code);
}

TEST_F(AuthService, RedirectFromTheTokenEndpointIsNeverFollowed) {
  auto listener_connections = [this] {
    return nlohmann::json::parse(control_.Call("GET", "/listener").value_or("{}"))
        .value("connections", -1);
  };
  const int before = listener_connections();
  const std::string code = control_.NewAuthorizationCode("ciudadano");
  control_.AddFault({{"kind", "redirect"}, {"status", 307}, {"count", 3}, {"token", code}});
  DebugOutputCapture capture;
  EXPECT_FALSE(DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen));
  EXPECT_EQ(listener_connections(), before);
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "  Redirect not followed (HTTP status 307)"));
  control_.ClearFaults(code);
}

TEST_F(AuthService, ClosedPortWalksAllThreeStrategies) {
  DebugOutputCapture capture;
  const std::string host = DeploymentServiceHosts().citizen_development;
  EXPECT_FALSE(DevelopmentManager().HttpPost(std::wstring(host.begin(), host.end()),
                                             kOAuthTokenPath, "grant_type=x", 1));
  EXPECT_TRUE(LoggedInOrder(
      capture, {"Making HTTP POST request to " + host + ":1/trustedx-authserver/oauth/murako/token",
                "Request body: grant_type=x",
                "  Attempting with access type: AUTOMATIC_PROXY",
                "  WinHttpSendRequest failed: CANNOT_CONNECT",
                "AUTOMATIC_PROXY failed, retrying with DEFAULT_PROXY...",
                "  Attempting with access type: DEFAULT_PROXY",
                "  WinHttpSendRequest failed: CANNOT_CONNECT",
                "DEFAULT_PROXY failed, retrying with NO_PROXY (direct connection)...",
                "  Attempting with access type: NO_PROXY (direct)",
                "  WinHttpSendRequest failed: CANNOT_CONNECT",
                "All HTTP POST strategies failed for " + host +
                    " - possible network/DNS issue (VPN disconnect, corporate proxy change)"}));
}

// Production runs in fresh processes: WinHTTP reuses pooled connections that were accepted
// earlier under the relaxed development flags.
class ProductionTokenEndpoint : public AuthService {
 protected:
  ProcessResult Probe(int user_type, const std::string& code) {
    return RunProgram("oauth_probe.exe", {std::to_string(user_type), code});
  }
};

TEST_F(ProductionTokenEndpoint, UntrustedAuthorityIsRefusedAndTheCodeStaysUnused) {
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(false));
  ASSERT_TRUE(SecureStorage::StoreToken(kEnvironmentKey, "prod"));
  const std::string code = control_.NewAuthorizationCode("ciudadano");
  ProcessResult refused = Probe(kOAuthCitizen, code);
  EXPECT_NE(refused.exit_code, 0u);
  const std::string& log = refused.standard_output;
  EXPECT_NE(log.find("Using PRODUCTION token endpoint (ciudadano)"), std::string::npos) << log;
  EXPECT_NE(log.find("  WinHttpSendRequest failed: "), std::string::npos) << log;
  EXPECT_NE(log.find("All HTTP POST strategies failed for " +
                     DeploymentServiceHosts().citizen_production),
            std::string::npos);
  EXPECT_EQ(log.find("SSL certificate validation DISABLED"), std::string::npos);
  EXPECT_TRUE(control_.Requests(code).empty());

  // Once the authority is trusted the same code goes through.
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
  ProcessResult accepted = Probe(kOAuthCitizen, code);
  EXPECT_EQ(accepted.exit_code, 0u) << accepted.standard_output;
}

TEST_F(ProductionTokenEndpoint, TrustedAuthorityBothUserTypesWithTheProductionSecret) {
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
  ASSERT_TRUE(SecureStorage::StoreToken(kEnvironmentKey, "prod"));
  for (const UserTypeCase& user : kUserTypes) {
    const std::string code = control_.NewAuthorizationCode(user.account);
    ProcessResult result = Probe(user.user_type, code);
    EXPECT_EQ(result.exit_code, 0u) << result.standard_output;
    EXPECT_NE(result.standard_output.find("Using PRODUCTION OAuth client_secret"),
              std::string::npos);
    EXPECT_NE(result.standard_output.find(":443/trustedx-authserver/oauth/murako/token"),
              std::string::npos);
    auto seen = control_.Requests(code);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["host"], user.user_type == kOAuthCitizen ? "citizen-production"
                                                               : "professional-production");
  }
}

}  // namespace
