// OAuthManager with a scripted network (the proxy walk and failure containment through its
// seams), then against the signing service double's token endpoint over real TLS: both grants
// for both user types, the tokens working with the REST API, OAuth error answers, faults, a
// closed port, and production's server-certificate checks in fresh processes.
#include <gtest/gtest.h>

#include <stdexcept>

#include "captured_log.h"
#include "murako_api_client.h"
#include "log_redaction.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "test_environment.h"

namespace {

// The manager with a scripted network and environment.
class ScriptedManager : public ::testing::Test {
 protected:
  OAuthManager Manager() {
    OAuthManagerSeams seams;
    seams.read_environment = [this]() -> std::optional<std::string> {
      if (environment_fails_) throw std::runtime_error("storage unavailable");
      return environment_;
    };
    seams.attempt = [this](const FormPostAttempt& attempt) -> std::optional<std::string> {
      attempts_.push_back(attempt);
      if (attempt_throws_) throw std::runtime_error("attempt blew up");
      if (attempts_.size() <= failures_before_answer_) return std::nullopt;
      return answer_;
    };
    return OAuthManager("", kOAuthClientId, kDevelopmentClientSecret, seams);
  }

  std::optional<std::string> environment_;
  bool environment_fails_ = false;
  bool attempt_throws_ = false;
  size_t failures_before_answer_ = 0;
  std::string answer_ = R"({"access_token":"AT","refresh_token":"RT","expires_in":60})";
  std::vector<FormPostAttempt> attempts_;
};

TEST_F(ScriptedManager, CodeExchangePostsTheFormToTheUserTypesTokenHost) {
  DebugOutputCapture capture;
  auto token = Manager().ExchangeCodeForToken("c/1", kOAuthRedirectUri, kOAuthProfessional);
  ASSERT_TRUE(token);
  EXPECT_EQ(token->access_token, "AT");
  ASSERT_EQ(attempts_.size(), 1u);
  const ServiceHosts hosts = DeploymentServiceHosts();
  EXPECT_EQ(attempts_[0].host, std::wstring(hosts.professional_development.begin(),
                                            hosts.professional_development.end()));
  EXPECT_EQ(attempts_[0].port, 8082);
  EXPECT_EQ(attempts_[0].path, "/trustedx-authserver/oauth/murako/token");
  EXPECT_EQ(attempts_[0].body, AuthorizationCodeGrantBody("c/1", kOAuthRedirectUri, "lumetra",
                                                          "8rw3mc5_x2fdk7"));
  EXPECT_EQ(attempts_[0].strategy_name, "AUTOMATIC_PROXY");
  EXPECT_TRUE(LoggedInOrder(capture, {"Exchanging authorization code for access token",
                                      "User type: profesional",
                                      "Using DEVELOPMENT token endpoint (profesional)",
                                      "Making HTTP POST request to " +
                                          hosts.professional_development +
                                          ":8082/trustedx-authserver/oauth/murako/token",
                                      "Token exchange response received",
                                      "Successfully parsed OAuth token"}));
  // The request line shows the form without the secret and the code.
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "Request body: grant_type=authorization_code&code=[REDACTED]"
                            "&redirect_uri=oauth-swift%3a%2f%2foauth-callback"
                            "&client_id=lumetra&client_secret=[REDACTED]"));
  EXPECT_FALSE(LoggedContaining(capture, "8rw3mc5_x2fdk7"));
}

TEST_F(ScriptedManager, ProxyWalkStopsAtTheFirstAnswerAndGivesUpAfterThree) {
  failures_before_answer_ = 1;
  environment_ = "prod";
  {
    DebugOutputCapture capture;
    auto token = Manager().RefreshAccessToken("old-rt", kOAuthCitizen);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->refresh_token, "RT");
    ASSERT_EQ(attempts_.size(), 2u);
    EXPECT_EQ(attempts_[1].access_type, ProxyAccessType::Default);
    EXPECT_EQ(attempts_[1].strategy_name, "DEFAULT_PROXY");
    EXPECT_EQ(attempts_[1].port, 443);
    EXPECT_EQ(attempts_[1].body, "grant_type=refresh_token&refresh_token=old-rt"
                                 "&client_id=lumetra&client_secret=8rw3mc5_x2fdk7");
    EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                              "AUTOMATIC_PROXY failed, retrying with DEFAULT_PROXY..."));
    EXPECT_TRUE(LoggedExactly(capture, "INFO", "Using PRODUCTION token endpoint (ciudadano)"));
    EXPECT_TRUE(LoggedExactly(capture, "INFO", "Token refresh response received"));
  }
  attempts_.clear();
  failures_before_answer_ = 3;
  DebugOutputCapture capture;
  EXPECT_FALSE(Manager().RefreshAccessToken("old-rt", kOAuthCitizen));
  ASSERT_EQ(attempts_.size(), 3u);
  EXPECT_EQ(attempts_[2].access_type, ProxyAccessType::None);
  EXPECT_EQ(attempts_[2].strategy_name, "NO_PROXY (direct)");
  EXPECT_TRUE(LoggedExactly(
      capture, "WARNING", "DEFAULT_PROXY failed, retrying with NO_PROXY (direct connection)..."));
  EXPECT_TRUE(LoggedExactly(
      capture, "ERROR",
      "All HTTP POST strategies failed for " + DeploymentServiceHosts().citizen_production +
          " - possible network/DNS issue (VPN disconnect, corporate proxy change)"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Failed to refresh token"));
}

TEST_F(ScriptedManager, UnreadableEnvironmentFallsBackToDevelopment) {
  environment_fails_ = true;
  DebugOutputCapture capture;
  OAuthManager manager = Manager();
  const ServiceHosts hosts = DeploymentServiceHosts();
  EXPECT_EQ(manager.GetOAuthDomain(kOAuthProfessional),
            "https://" + hosts.professional_development + ":8082/");
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Failed to read environment setting, using DEVELOPMENT: "
                            "storage unavailable"));
  TokenEndpoint endpoint = manager.GetTokenEndpoint(kOAuthCitizen);
  EXPECT_EQ(endpoint.port, 8082);
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Failed to read environment setting, using DEVELOPMENT token "
                            "endpoint: storage unavailable"));
  const std::string url = manager.BuildAuthorizationUrl(kOAuthCitizen, kOAuthRedirectUri, "es", "");
  EXPECT_EQ(url.rfind("https://" + hosts.citizen_development + ":8082/trustedx-authserver", 0), 0u);
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "Generating OAuth authorization URL with locale=es, login_hint=(empty)"));
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "Authorization URL: " + url));
}

TEST_F(ScriptedManager, NoExceptionLeavesTheManager) {
  attempt_throws_ = true;
  DebugOutputCapture capture;
  EXPECT_FALSE(Manager().ExchangeCodeForToken("c", kOAuthRedirectUri, kOAuthCitizen));
  EXPECT_FALSE(Manager().RefreshAccessToken("r", kOAuthCitizen));
  EXPECT_FALSE(Manager().HttpPost(L"h", kOAuthTokenPath, "b", 443));
  for (const char* entry_point : {"ExchangeCodeForToken", "RefreshAccessToken", "HttpPost"}) {
    EXPECT_TRUE(LoggedExactly(capture, "ERROR",
                              std::string("Exception in ") + entry_point + ": attempt blew up"));
  }
  EXPECT_EQ(attempts_.size(), 3u);  // one per call: a throwing attempt ends the walk
}

TEST_F(ScriptedManager, AnErrorAnswerEndsTheWalkWithoutAToken) {
  answer_ = R"({"error":"invalid_grant","error_description":"authorization code already used"})";
  DebugOutputCapture capture;
  EXPECT_FALSE(Manager().ExchangeCodeForToken("c", kOAuthRedirectUri, kOAuthCitizen));
  EXPECT_EQ(attempts_.size(), 1u);
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "No access_token in response"));
}

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
  std::optional<UserInfo> UserInfoWith(int user_type, const std::string& token) {
    return MurakoApiClient(GetApiBaseUrl(UserTypeFromOAuthNumber(user_type)), token).GetUserInfo();
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
    auto info = UserInfoWith(user.user_type, token->access_token);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dni, Dni(user.account));

    auto refreshed = DevelopmentManager().RefreshAccessToken(token->refresh_token, user.user_type);
    ASSERT_TRUE(refreshed);
    EXPECT_NE(refreshed->access_token, token->access_token);
    EXPECT_NE(refreshed->refresh_token, token->refresh_token);  // the double rotates them
    auto refreshed_info = UserInfoWith(user.user_type, refreshed->access_token);
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
                                SecretHead(token->refresh_token, 20)));
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
    EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Response was: [not shown: 24 bytes that do not parse as JSON]"));
  }
  // Windows reports a reset as CONNECTION_ERROR and the next strategy gets the answer; Wine
  // passes the socket's 10054 through, which ends the exchange, as in the REST client.
  control_.AddFault({{"kind", "reset"}, {"token", code}});
  DebugOutputCapture capture;
  auto token = DevelopmentManager().ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen);
  EXPECT_TRUE(LoggedContaining(capture, "  WinHttpReceiveResponse failed: "));
  if (token) {
    EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                              "AUTOMATIC_PROXY failed, retrying with DEFAULT_PROXY..."));
    EXPECT_TRUE(LoggedExactly(capture, "INFO", "HTTP POST succeeded with DEFAULT_PROXY"));
  } else {
    EXPECT_TRUE(LoggedContaining(capture, "POST failed with non-retryable error: "));
    EXPECT_FALSE(LoggedContaining(capture, "Attempting with access type: DEFAULT_PROXY"));
  }
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
  EXPECT_NE(log.find("  WinHttpSendRequest failed: SECURE_"), std::string::npos) << log;
  // A certificate refusal is not a network-path failure: no other proxy strategy is tried.
  EXPECT_NE(log.find("POST failed with non-retryable error: SECURE_"), std::string::npos);
  EXPECT_EQ(log.find("Attempting with access type: DEFAULT_PROXY"), std::string::npos);
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
