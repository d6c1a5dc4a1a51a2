// Token endpoint answers and what the log may show of them: parsing with the grant's log
// lines, lifetime conversions and the redaction of tokens and form bodies.
#include <gtest/gtest.h>

#include <limits>

#include "oauth_protocol.h"
#include "token_response.h"

namespace {

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
                                      "   \xE2\x9C\x85 Refresh token received: RT-012..."}));
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
    EXPECT_EQ(Texts(outcome)[2], "   \xE2\x9C\x85 Refresh token maintained: old-re...");
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
            "Response was: {\n  \"access_token\": \"abc...[REDACTED]...CDE\",\n"
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
  EXPECT_EQ(html.log_lines[1].text,
            "Response was: [not shown: 28 bytes that do not parse as JSON]");

  // An answer cut off inside the access token: the parser's text quotes what it last read,
  // which the log leaves out.
  auto cut = ParseTokenResponse(R"({"expires_in":3600,"access_token":"eyJhbGciOiJSUzI1NiJ9.cut)",
                                TokenGrant::AuthorizationCode, "", 0);
  EXPECT_FALSE(cut.token);
  EXPECT_EQ(cut.log_lines[0].text,
            "Failed to parse JSON response: parse error at line 1, column 60: syntax error while "
            "parsing value - invalid string: missing closing quote");
  for (const auto& line : cut.log_lines) EXPECT_EQ(line.text.find("eyJhbGci"), std::string::npos);

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

TEST(TokenResponse, NullMembersReadAsAbsent) {
  auto outcome = ParseTokenResponse(
      R"({"access_token":"AT-3","refresh_token":null,"token_type":null,"expires_in":null})",
      TokenGrant::RefreshToken, "sent-refresh", 0);
  ASSERT_TRUE(outcome.token) << Texts(outcome)[0];
  EXPECT_EQ(outcome.token->refresh_token, "sent-refresh");
  EXPECT_EQ(outcome.token->token_type, "Bearer");
  EXPECT_EQ(outcome.token->expires_in, 3600);
  auto no_token = ParseTokenResponse(R"({"access_token":null,"error":"invalid_grant"})",
                                     TokenGrant::AuthorizationCode, "", 0);
  EXPECT_EQ(Texts(no_token), std::vector<std::string>{"No access_token in response"});
}

TEST(TokenResponse, DeeplyNestedAnswersAreParseFailuresThatShowNoBody) {
  const std::string deep = std::string(12000, '[') + std::string(12000, ']');
  auto outcome = ParseTokenResponse(deep, TokenGrant::RefreshToken, "r", 0);
  EXPECT_FALSE(outcome.token);
  EXPECT_EQ(Texts(outcome),
            (std::vector<std::string>{
                "Failed to parse JSON refresh response: JSON nested deeper than 64 levels",
                "Response was: [not shown: 24000 bytes that do not parse as JSON]"}));
  // At the limit the answer is read; it is no object, and is logged.
  const std::string limit = std::string(64, '[') + std::string(64, ']');
  auto at_limit = ParseTokenResponse(limit, TokenGrant::AuthorizationCode, "", 0);
  EXPECT_EQ(Texts(at_limit)[0], "Failed to parse JSON response: cannot use value() with array");
  EXPECT_EQ(Texts(at_limit)[1].rfind("Response was: [\n  [\n    [", 0), 0u);
}

TEST(RedactTokensForLog, TokensShowAtMostAQuarterOfThemselves) {
  // 21 characters show 2 at each end (4 of 21), never the 20 of an earlier rule; a token
  // shorter than 8 shows nothing.
  const std::string seven = "abcdefg";
  const std::string twenty_one = "abcdefghij0123456789X";
  EXPECT_EQ(RedactTokensForLog(R"({"access_token":")" + seven + R"(","refresh_token":")" +
                               twenty_one + R"(","token_type":"Bearer"})"),
            "{\n  \"access_token\": \"[REDACTED]\",\n"
            "  \"refresh_token\": \"ab...[REDACTED]...9X\",\n"
            "  \"token_type\": \"Bearer\"\n}");
  EXPECT_EQ(RedactTokensForLog(R"({"error":"invalid_grant"})"),
            "{\n  \"error\": \"invalid_grant\"\n}");
  EXPECT_EQ(RedactTokensForLog("[1,2]"), "[\n  1,\n  2\n]");
}

TEST(RedactTokensForLog, TokensAreHiddenWhateverTheLayoutKindOrDepth) {
  const std::string token = "eyJhbGciOi-secret-middle-part-0123456789";
  // Spaces after the colons, a null member beside the token, and the token again deeper.
  EXPECT_EQ(RedactTokensForLog(R"({"access_token": ")" + token +
                               R"(", "refresh_token": null, "x": [{"id_token": ")" + token +
                               R"("}], "refresh_token": 7})"),
            "{\n  \"access_token\": \"eyJhb...[REDACTED]...56789\",\n"
            "  \"refresh_token\": \"[REDACTED]\",\n"
            "  \"x\": [\n    {\n      \"id_token\": \"eyJhb...[REDACTED]...56789\"\n"
            "    }\n  ],\n  \"refresh_token\": \"[REDACTED]\"\n}");
  EXPECT_EQ(RedactTokensForLog(R"({"access_token":{"a":[")" + token + R"("]},"e":{}})"),
            "{\n  \"access_token\": \"[REDACTED]\",\n  \"e\": {}\n}");
}

TEST(RedactTokensForLog, TextThatDoesNotParseShowsOnlyItsLength) {
  // A body cut off inside the refresh token, and a token that is not the pattern of a
  // textual search: nothing of either is shown.
  EXPECT_EQ(RedactTokensForLog(R"({"access_token":"AAAAAAAAAAAAAAAAAAAAAAAAA","refresh_token":"BBBB)"),
            "[not shown: 65 bytes that do not parse as JSON]");
  EXPECT_EQ(RedactTokensForLog(R"(<p>"access_token": "v"</p>)"),
            "[not shown: 26 bytes that do not parse as JSON]");
  // A long answer is cut, never whole.
  const std::string long_answer = "[\"" + std::string(10000, 'x') + "\"]";
  const std::string shown = RedactTokensForLog(long_answer);
  EXPECT_LT(shown.size(), 4200u);
  EXPECT_EQ(shown.substr(shown.size() - 24), "... (10004 bytes in all)");
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

}  // namespace
