// The OAuth client without a network: encoding, the authorization URL, endpoints, form bodies,
// token answers, log redaction, the client secret, and the manager's proxy walk and failure
// containment through its seams.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "authorization_url.h"
#include "captured_log.h"
#include "oauth_client_secret.h"
#include "oauth_endpoints.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "token_clock.h"
#include "token_log_redaction.h"
#include "token_request_body.h"
#include "token_response.h"
#include "url_encode.h"

namespace {

const ServiceHosts kHosts{"cit-prod.example", "cit-dev.example", "pro-prod.example",
                          "pro-dev.example"};

TEST(UrlEncode, KeepsUnreservedAndWritesEveryOtherByteInLowerCaseHex) {
  EXPECT_EQ(UrlEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(UrlEncode("oauth-swift://oauth-callback"), "oauth-swift%3a%2f%2foauth-callback");
  EXPECT_EQ(UrlEncode("a b+c&d=e%"), "a%20b%2bc%26d%3de%25");
  EXPECT_EQ(UrlEncode("pe\xC3\xB1""a"), "pe%c3%b1a");  // each UTF-8 byte on its own
  EXPECT_EQ(UrlEncode(std::string("\x00\xFF", 2)), "%00%ff");
  EXPECT_EQ(UrlEncode(""), "");
}

TEST(AuthorizationUrl, CitizenUrlHasEveryParameterInOrder) {
  EXPECT_EQ(ComposeAuthorizationUrl("https://cit-dev.example:8082/", "lumetra", kOAuthCitizen,
                                    kOAuthRedirectUri, "es", "12345678Z"),
            "https://cit-dev.example:8082/trustedx-authserver/oauth/murako"
            "?client_id=lumetra&response_type=code"
            "&redirect_uri=oauth-swift%3a%2f%2foauth-callback"
            "&scope=urn%3Amurako%3Aidentity%3Aglobal"
            "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aprofile"
            "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aregister"
            "&acr_values=urn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Avexo"
            "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Acitizen"
            "&state=&ui_locales=es&login_hint=12345678Z");
}

TEST(AuthorizationUrl, ProfessionalAcrValuesHintEncodingLocaleAsIsAndEmptyHint) {
  const std::string professional = ComposeAuthorizationUrl(
      "https://h/", "lumetra", kOAuthProfessional, kOAuthRedirectUri, "eu&x=/", "B1/2 3");
  EXPECT_NE(professional.find("&acr_values=urn%3Amurako%3Aauthentication%3Aflow%3Avex_otp"
                              "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3A"
                              "kovaid%3Aprof&state=&ui_locales=eu&x=/&login_hint=B1%2f2%203"),
            std::string::npos)
      << professional;

  const std::string no_hint = ComposeAuthorizationUrl("https://h/", "lumetra", kOAuthCitizen,
                                                      kOAuthRedirectUri, "es", "");
  const std::string tail = "&state=&ui_locales=es&login_hint=";
  EXPECT_EQ(no_hint.substr(no_hint.size() - tail.size()), tail);
}

TEST(OAuthEndpoints, FourRowsAndUnknownUserTypesAsCitizen) {
  auto domain = ChooseOAuthDomain(kHosts, kOAuthCitizen, false);
  EXPECT_EQ(domain.address, "https://cit-dev.example:8082/");
  EXPECT_EQ(domain.log_line, "Using DEVELOPMENT OAuth domain (ciudadano)");
  domain = ChooseOAuthDomain(kHosts, kOAuthProfessional, true);
  EXPECT_EQ(domain.address, "https://pro-prod.example/");
  EXPECT_EQ(domain.log_line, "Using PRODUCTION OAuth domain (profesional)");
  EXPECT_EQ(ChooseOAuthDomain(kHosts, 7, true).address, "https://cit-prod.example/");

  auto token = ChooseTokenEndpoint(kHosts, kOAuthProfessional, false);
  EXPECT_EQ(token.host, "pro-dev.example");
  EXPECT_EQ(token.port, 8082);
  EXPECT_EQ(token.log_line, "Using DEVELOPMENT token endpoint (profesional)");
  token = ChooseTokenEndpoint(kHosts, kOAuthCitizen, true);
  EXPECT_EQ(token.host, "cit-prod.example");
  EXPECT_EQ(token.port, 443);
  EXPECT_EQ(token.log_line, "Using PRODUCTION token endpoint (ciudadano)");
}

TEST(TokenRequestBody, BothGrantsEncodeEveryValueInOrder) {
  EXPECT_EQ(AuthorizationCodeGrantBody("a/b+c", kOAuthRedirectUri, "lumetra", "s&t"),
            "grant_type=authorization_code&code=a%2fb%2bc"
            "&redirect_uri=oauth-swift%3a%2f%2foauth-callback&client_id=lumetra"
            "&client_secret=s%26t");
  EXPECT_EQ(RefreshTokenGrantBody("r=1", "lumetra", kDevelopmentClientSecret),
            "grant_type=refresh_token&refresh_token=r%3d1&client_id=lumetra"
            "&client_secret=8rw3mc5_x2fdk7");
}

// The texts of the outcome's lines, for comparison.
std::vector<std::string> Texts(const TokenResponseOutcome& outcome) {
  std::vector<std::string> texts;
  for (const TokenLogLine& line : outcome.log_lines) texts.push_back(line.text);
  return texts;
}

TEST(TokenResponse, FullAnswerOfACodeExchange) {
  auto outcome = ParseTokenResponse(
      R"({"access_token":"AT-1","refresh_token":"RT-0123456789abcdefghijXYZ","token_type":"bearer","expires_in":3599})",
      TokenGrant::AuthorizationCode, "", 1234);
  ASSERT_TRUE(outcome.token);
  EXPECT_EQ(outcome.token->access_token, "AT-1");
  EXPECT_EQ(outcome.token->refresh_token, "RT-0123456789abcdefghijXYZ");
  EXPECT_EQ(outcome.token->token_type, "bearer");
  EXPECT_EQ(outcome.token->expires_in, 3599);
  EXPECT_EQ(outcome.token->obtained_at, 1234);
  EXPECT_EQ(Texts(outcome),
            (std::vector<std::string>{"\xE2\x9C\x85 Successfully parsed OAuth token",
                                      "   Token expires in: 3599 seconds (59 minutes)",
                                      "   \xE2\x9C\x85 Refresh token received: RT-0123456789abcdefg..."}));
}

TEST(TokenResponse, DefaultsAndTheMissingRefreshTokenWarning) {
  auto outcome = ParseTokenResponse(R"({"access_token":"AT"})", TokenGrant::AuthorizationCode,
                                    "", 0);
  ASSERT_TRUE(outcome.token);
  EXPECT_EQ(outcome.token->token_type, "Bearer");
  EXPECT_EQ(outcome.token->expires_in, 3600);
  EXPECT_EQ(outcome.token->refresh_token, "");
  ASSERT_EQ(outcome.log_lines.size(), 3u);
  EXPECT_EQ(outcome.log_lines[2].level, LogLevel::Warning);
  EXPECT_EQ(outcome.log_lines[2].text,
            "   \xE2\x9A\xA0\xEF\xB8\x8F No refresh token in response (offline_access may not be "
            "supported)");
}

TEST(TokenResponse, RefreshKeepsTheSentRefreshTokenWhenNoneOrAnEmptyOneComesBack) {
  for (const char* body : {R"({"access_token":"AT2"})",
                           R"({"access_token":"AT2","refresh_token":""})"}) {
    auto outcome = ParseTokenResponse(body, TokenGrant::RefreshToken, "old-refresh-token-0123456",
                                      0);
    ASSERT_TRUE(outcome.token) << body;
    EXPECT_EQ(outcome.token->refresh_token, "old-refresh-token-0123456");
    EXPECT_EQ(Texts(outcome)[0], "\xE2\x9C\x85 Successfully refreshed OAuth token");
    EXPECT_EQ(Texts(outcome)[2], "   \xE2\x9C\x85 Refresh token maintained: old-refresh-token-01...");
  }
  auto rotated = ParseTokenResponse(R"({"access_token":"AT2","refresh_token":"new"})",
                                    TokenGrant::RefreshToken, "old", 0);
  EXPECT_EQ(rotated.token->refresh_token, "new");
}

TEST(TokenResponse, ErrorObjectsGiveNoTokenWithTheGrantsLine) {
  auto exchange = ParseTokenResponse(R"({"error":"invalid_grant"})",
                                     TokenGrant::AuthorizationCode, "", 0);
  EXPECT_FALSE(exchange.token);
  EXPECT_EQ(Texts(exchange), std::vector<std::string>{"No access_token in response"});
  EXPECT_EQ(exchange.log_lines[0].level, LogLevel::Error);
  auto refresh = ParseTokenResponse(R"({"error":"invalid_grant","access_token":""})",
                                    TokenGrant::RefreshToken, "r", 0);
  EXPECT_FALSE(refresh.token);
  EXPECT_EQ(Texts(refresh), std::vector<std::string>{"No access_token in refresh response"});
}

TEST(TokenResponse, TypeAndSyntaxErrorsLogTheLibraryTextAndTheRedactedBody) {
  auto text_lifetime = ParseTokenResponse(
      R"({"access_token":"abcdefghij0123456789ABCDE","expires_in":"3600"})",
      TokenGrant::AuthorizationCode, "", 0);
  EXPECT_FALSE(text_lifetime.token);
  ASSERT_EQ(text_lifetime.log_lines.size(), 2u);
  EXPECT_EQ(text_lifetime.log_lines[0].text,
            "Failed to parse JSON response: type must be number, but is string");
  EXPECT_EQ(text_lifetime.log_lines[1].text,
            "Response was: {\n  \"access_token\": \"abcdefghij...[REDACTED]...56789ABCDE\",\n"
            "  \"expires_in\": \"3600\"\n}");
  EXPECT_EQ(text_lifetime.log_lines[1].text.find("0123456789A"), std::string::npos);

  auto numeric_token = ParseTokenResponse(R"({"access_token":42})", TokenGrant::RefreshToken,
                                          "r", 0);
  EXPECT_FALSE(numeric_token.token);
  EXPECT_EQ(numeric_token.log_lines[0].text,
            "Failed to parse JSON refresh response: type must be string, but is number");

  auto html = ParseTokenResponse("<html>502 Bad Gateway</html>", TokenGrant::AuthorizationCode,
                                 "", 0);
  EXPECT_FALSE(html.token);
  EXPECT_EQ(html.log_lines[0].text.rfind("Failed to parse JSON response: parse error", 0), 0u)
      << html.log_lines[0].text;
  EXPECT_EQ(html.log_lines[1].text, "Response was: <html>502 Bad Gateway</html>");

  auto array = ParseTokenResponse("[1]", TokenGrant::AuthorizationCode, "", 0);
  EXPECT_FALSE(array.token);
}

TEST(TokenResponse, LifetimeConversions) {
  using nlohmann::json;
  EXPECT_EQ(LifetimeSecondsFromJson(json(3600.9)), 3600);
  EXPECT_EQ(LifetimeSecondsFromJson(json(-59.9)), -59);
  EXPECT_EQ(LifetimeSecondsFromJson(json(true)), 1);
  EXPECT_EQ(LifetimeSecondsFromJson(json(false)), 0);
  // Out of the 32-bit range: held at the bounds instead of wrapping or undefined conversion.
  EXPECT_EQ(LifetimeSecondsFromJson(json(5000000000u)), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(LifetimeSecondsFromJson(json(-5000000000LL)), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(LifetimeSecondsFromJson(json(1e300)), std::numeric_limits<int32_t>::max());
  EXPECT_THROW(LifetimeSecondsFromJson(json(nullptr)), nlohmann::json::type_error);
  auto fractional = ParseTokenResponse(R"({"access_token":"a","expires_in":119.99})",
                                       TokenGrant::AuthorizationCode, "", 0);
  EXPECT_EQ(fractional.token->expires_in, 119);
  EXPECT_EQ(Texts(fractional)[1], "   Token expires in: 119 seconds (1 minutes)");
}

TEST(RedactTokensForLog, TwentyCharactersWholeTwentyOneShowsBothEnds) {
  const std::string twenty = "abcdefghij0123456789";
  const std::string twenty_one = "abcdefghij0123456789X";
  EXPECT_EQ(RedactTokensForLog(R"({"access_token":")" + twenty + R"(","refresh_token":")" +
                               twenty_one + R"(","token_type":"Bearer"})"),
            "{\n  \"access_token\": \"[REDACTED]\",\n"
            "  \"refresh_token\": \"abcdefghij...[REDACTED]...123456789X\",\n"
            "  \"token_type\": \"Bearer\"\n}");
  EXPECT_EQ(RedactTokensForLog(R"({"error":"invalid_grant"})"),
            "{\n  \"error\": \"invalid_grant\"\n}");
  EXPECT_EQ(RedactTokensForLog("[1,2]"), "[\n  1,\n  2\n]");
}

TEST(RedactTokensForLog, TextualFallbackForWhatIsNotValidJson) {
  // A body cut off inside the refresh token: the complete access token is hidden, and so is
  // the cut-off value, which may already be the whole token.
  EXPECT_EQ(RedactTokensForLog(R"({"access_token":"AAAAAAAAAAAAAAAAAAAAAAAAA","refresh_token":"BBBBBBBBBBBB)"),
            R"({"access_token":"[REDACTED]","refresh_token":"[REDACTED])");
  // A token that is not a string, and repeated keys.
  EXPECT_EQ(RedactTokensForLog(R"({"access_token":7} {"access_token":"x1","access_token":"x2"})"),
            R"({"access_token":7} {"access_token":"[REDACTED]","access_token":"[REDACTED]"})");
  // An empty value ends the search for that key.
  EXPECT_EQ(RedactTokensForLog(R"(x "refresh_token":"" "refresh_token":"keep")"),
            R"(x "refresh_token":"" "refresh_token":"keep")");
  // Spaced keys are not the pattern; plain text stays.
  EXPECT_EQ(RedactTokensForLog(R"(<p>"access_token": "v"</p>)"), R"(<p>"access_token": "v"</p>)");
  EXPECT_EQ(RedactTokensForLog(R"(tail "access_token":")"), R"(tail "access_token":")");
}

TEST(RedactFormBodyForLog, HidesSecretCodeAndRefreshTokenOnly) {
  EXPECT_EQ(RedactFormBodyForLog(AuthorizationCodeGrantBody("the-code", kOAuthRedirectUri,
                                                            "lumetra", kProductionClientSecret)),
            "grant_type=authorization_code&code=[REDACTED]"
            "&redirect_uri=oauth-swift%3a%2f%2foauth-callback&client_id=lumetra"
            "&client_secret=[REDACTED]");
  EXPECT_EQ(RedactFormBodyForLog(RefreshTokenGrantBody("rt", "lumetra", "s")),
            "grant_type=refresh_token&refresh_token=[REDACTED]&client_id=lumetra"
            "&client_secret=[REDACTED]");
  EXPECT_EQ(RedactFormBodyForLog("code=&x"), "code=&x");
}

TEST(ClientSecret, OnlyExactProdSelectsTheProductionSecret) {
  DebugOutputCapture capture;
  EXPECT_EQ(SelectClientSecretForStoredEnvironment([] { return std::string("prod"); }),
            "5k82nw7_p3ahz9_tq4m");
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "Using PRODUCTION OAuth client_secret"));
  for (std::optional<std::string> value :
       {std::optional<std::string>("PROD"), std::optional<std::string>("prod "),
        std::optional<std::string>(), std::optional<std::string>("desa")}) {
    EXPECT_EQ(SelectClientSecretForStoredEnvironment([value] { return value; }),
              "8rw3mc5_x2fdk7");
  }
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "Using DEVELOPMENT OAuth client_secret"));
  EXPECT_EQ(SelectClientSecretForStoredEnvironment(
                []() -> std::optional<std::string> { throw std::runtime_error("vault locked"); }),
            "8rw3mc5_x2fdk7");
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Failed to read environment, using DESA client_secret: vault locked"));
}

TEST(TokenClock, CountsHundredNanosecondsSince1970) {
  // 2020-01-01 and 2100-01-01 in 100 ns units.
  EXPECT_GT(CurrentTokenTime(), 15778368000000000LL);
  EXPECT_LT(CurrentTokenTime(), 41024448000000000LL);
}

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
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Exception in HttpPost: attempt blew up"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Failed to exchange authorization code"));
  EXPECT_EQ(attempts_.size(), 3u);  // one per call: a throwing attempt ends the walk
}

TEST_F(ScriptedManager, AnErrorAnswerEndsTheWalkWithoutAToken) {
  answer_ = R"({"error":"invalid_grant","error_description":"authorization code already used"})";
  DebugOutputCapture capture;
  EXPECT_FALSE(Manager().ExchangeCodeForToken("c", kOAuthRedirectUri, kOAuthCitizen));
  EXPECT_EQ(attempts_.size(), 1u);
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "No access_token in response"));
}

}  // namespace
