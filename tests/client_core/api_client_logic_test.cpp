// URL splitting, error names, log texts, JSON of the REST API, endpoint choice and the proxy
// fallback walk, all without a network.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "debug_output_capture.h"
#include "log_redaction.h"
#include "murako_api_client.h"
#include "murako_api_json.h"
#include "service_endpoints.h"
#include "storage_keys.h"
#include "untrusted_json.h"
#include "url_parser.h"
#include "winhttp_error_name.h"

namespace {

bool Logged(const DebugOutputCapture& capture, const std::string& text) {
  for (const std::string& line : capture.Lines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

size_t CountLogged(const DebugOutputCapture& capture, const std::string& text) {
  auto lines = capture.Lines();
  return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(text) != std::string::npos;
  });
}

TEST(ParseUrl, SplitsHostPortAndPath) {
  auto parts = ParseUrl("https://api.example.test:8082/x");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, L"api.example.test");
  EXPECT_EQ(parts->port, 8082);
  EXPECT_EQ(parts->path, L"/x");

  EXPECT_EQ(ParseUrl("https://api.example.test/x")->port, 443);
  EXPECT_EQ(ParseUrl("http://api.example.test/x")->port, 80);
  EXPECT_EQ(ParseUrl("https://api.example.test")->path, L"/");
  EXPECT_EQ(ParseUrl("https://h/p?q=1&r=2")->path, L"/p?q=1&r=2");
}

TEST(ParseUrl, TextWithoutSchemeIsAllHost) {
  auto parts = ParseUrl("just-a-host");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, L"just-a-host");
  EXPECT_EQ(parts->port, 443);
  EXPECT_EQ(parts->path, L"/");
}

TEST(ParseUrl, RejectsPortsThatAreNotSixteenBitNumbers) {
  EXPECT_FALSE(ParseUrl("https://h:abc/x"));
  EXPECT_FALSE(ParseUrl("https://h:/x"));
  EXPECT_FALSE(ParseUrl("https://h:65536/x"));
  EXPECT_FALSE(ParseUrl("https://h:99999999999/x"));
  EXPECT_EQ(ParseUrl("https://h:65535/x")->port, 65535);
}

TEST(WinHttpErrorNames, TableAndFallback) {
  EXPECT_EQ(WinHttpErrorName(12007), "NAME_NOT_RESOLVED (DNS failure)");
  EXPECT_EQ(WinHttpErrorName(12037), "SECURE_CERT_DATE_INVALID");
  EXPECT_EQ(WinHttpErrorName(12038), "SECURE_CERT_CN_INVALID");
  EXPECT_EQ(WinHttpErrorName(12157), "SECURE_CHANNEL_ERROR");
  EXPECT_EQ(WinHttpErrorName(12169), "SECURE_INVALID_CERT");
  EXPECT_EQ(WinHttpErrorName(12175), "SECURE_FAILURE");
  EXPECT_EQ(WinHttpErrorName(12179), "SECURE_CERT_WRONG_USAGE");
  EXPECT_EQ(WinHttpErrorName(0), "UNKNOWN(0)");
  EXPECT_EQ(WinHttpErrorName(12156), "UNKNOWN(12156)");
  EXPECT_EQ(WinHttpErrorName(0xFFFFFFFFu), "UNKNOWN(4294967295)");
  for (uint32_t code : {12007u, 12029u, 12030u, 12031u}) EXPECT_TRUE(IsRetryableWinHttpError(code));
  for (uint32_t code : {0u, 12002u, 12038u, 12157u, 12175u}) EXPECT_FALSE(IsRetryableWinHttpError(code));
}

TEST(LogRedaction, NoSecretIsShownWholeAtAnyLength) {
  for (size_t length : {0, 1, 7, 20, 21}) {
    const std::string whole(std::max<size_t>(length, 1), 'a');
    EXPECT_EQ(MaskToken(std::string(length, 'a')).find(whole), std::string::npos) << length;
  }
  EXPECT_EQ(MaskToken(std::string(7, 'a')), "[REDACTED]");
  EXPECT_EQ(MaskToken("0123456789" + std::string(60, '-') + "9876543210"),
            "0123456789...9876543210");
  EXPECT_EQ(MaskToken("abcdefgh" + std::string(24, '-') + "stuvwxyz"), "abcde...vwxyz");
  EXPECT_EQ(SecretHead("code-abc", 10), "co...");
  EXPECT_EQ(SecretHead("abc", 10), "[REDACTED]");
  EXPECT_EQ(SecretHead(std::string(100, 'r'), 20), std::string(20, 'r') + "...");
  EXPECT_EQ(MaskIdentityNumber("12345678Z"), "******78Z");
  EXPECT_EQ(MaskIdentityNumber("B1"), "**");
}

TEST(LogRedaction, AddressesAndBodiesLoseTheirSecretValues) {
  EXPECT_EQ(RedactAddressForLog("oauth-swift://oauth-callback?code=c-1&state=s&x=1#access_token="
                                "t&id_token=i&SAMLart=a&ticket=k"),
            "oauth-swift://oauth-callback?code=[REDACTED]&state=[REDACTED]&x=1#access_token="
            "[REDACTED]&id_token=[REDACTED]&SAMLart=[REDACTED]&ticket=[REDACTED]");
  EXPECT_EQ(RedactAddressForLog("https://h/a?state=&ui_locales=es&login_hint=12345678Z"),
            "https://h/a?state=&ui_locales=es&login_hint=******78Z");
  EXPECT_EQ(RedactAddressForLog("https://h/plain"), "https://h/plain");
  EXPECT_EQ(RedactAddressForLog("https://h/app;jsessionid=0123456789ABCDEF/x;v=1?a=1"),
            "https://h/app;jsessionid=[REDACTED]/x;v=1?a=1");
  EXPECT_EQ(RedactAddressForLog("https://h/"), "https://h/");
  // Names are read decoded, as the sign-in flow reads them.
  EXPECT_EQ(RedactAddressForLog("oauth-swift://oauth-callback?c%6Fde=c-1&st%61te=s&%6Cogin_hint="
                                "12345678Z"),
            "oauth-swift://oauth-callback?c%6Fde=[REDACTED]&st%61te=[REDACTED]&%6Cogin_hint="
            "******78Z");
  EXPECT_EQ(RedactJsonSecretsForLog(R"({"access_token" : "a\"b", "id":"x","refresh_token":"r)"),
            R"({"access_token" : "[REDACTED]", "id":"x","refresh_token":"[REDACTED])");
}

TEST(UrlText, PercentEncodingDecodingAndQueryParameters) {
  EXPECT_EQ(PercentEncode("a/b c+\xC3\xB1~"), "a%2fb%20c%2b%c3%b1~");
  EXPECT_EQ(PercentDecode("a%2Fb+c%zz%4"), "a/b c%zz%4");
  const auto parameters = ParseQueryParameters("error_code=1&code=x%26y&&empty&state=");
  ASSERT_EQ(parameters.size(), 4u);
  EXPECT_EQ(parameters[0], std::make_pair(std::string("error_code"), std::string("1")));
  EXPECT_EQ(parameters[1], std::make_pair(std::string("code"), std::string("x&y")));
  EXPECT_EQ(parameters[2], std::make_pair(std::string("empty"), std::string()));
  EXPECT_EQ(parameters[3], std::make_pair(std::string("state"), std::string()));
}

TEST(ApiJson, UserInfoIdentitiesStatusFormsAndLabels) {
  UserInfo info = ParseUserInfoJson(R"({"name":"A","dni":"12345678Z","sign_identities":[
      {"id":"i1","self":"u1","status":"enabled","labels":["vexo",3,"x"]},
      {"id":"i2","status":{"value":"enabled"}},
      {"id":"i3","status":7}]})");
  EXPECT_EQ(info.name, "A");
  EXPECT_EQ(info.cif, "");
  ASSERT_EQ(info.sign_identities.size(), 3u);
  EXPECT_EQ(info.sign_identities[0].self_url, "u1");
  EXPECT_EQ(info.sign_identities[0].labels, (std::vector<std::string>{"vexo", "x"}));
  EXPECT_EQ(info.sign_identities[1].status, "enabled");
  EXPECT_EQ(info.sign_identities[2].status, "");
  EXPECT_TRUE(ParseUserInfoJson(R"({"name":"A"})").sign_identities.empty());
  EXPECT_TRUE(ParseUserInfoJson(R"({"sign_identities":{}})").sign_identities.empty());
  // A null member is an absent one.
  UserInfo nulls = ParseUserInfoJson(
      R"({"name":"B","cif":null,"sign_identities":[{"id":"i4","self":null,"status":{"value":null}}]})");
  EXPECT_EQ(nulls.cif, "");
  ASSERT_EQ(nulls.sign_identities.size(), 1u);
  EXPECT_EQ(nulls.sign_identities[0].status, "");
}

TEST(ApiJson, WrongMemberTypesAndInvalidJsonThrow) {
  EXPECT_THROW(ParseUserInfoJson(R"({"name":5})"), nlohmann::json::exception);
  EXPECT_THROW(ParseUserInfoJson("not json"), nlohmann::json::exception);
  EXPECT_THROW(ParseIdentityDetailsJson(R"({"id":[]})"), nlohmann::json::exception);
  const std::string deep = std::string(12000, '[') + std::string(12000, ']');
  EXPECT_THROW(ParseUserInfoJson(deep), JsonNestingError);
  EXPECT_THROW(ParseIdentityDetailsJson(deep), JsonNestingError);
}

TEST(ApiJson, IdentityDetailsWrappedAndFlatFormsAgree) {
  IdentityDetails wrapped = ParseIdentityDetailsJson(
      R"({"identity":{"id":"i","status":"enabled","labels":["vexo"],"details":{"certificate":"MIIB"}}})");
  IdentityDetails flat = ParseIdentityDetailsJson(
      R"({"id":"i","status":"enabled","labels":["vexo"],"certificate":"MIIB"})");
  for (const IdentityDetails& details : {wrapped, flat}) {
    EXPECT_EQ(details.id, "i");
    EXPECT_EQ(details.certificate, "MIIB");
    EXPECT_EQ(details.status, "enabled");
    EXPECT_EQ(details.labels, std::vector<std::string>{"vexo"});
  }
}

TEST(ApiJson, SignatureRequestCarriesDataOrDigestNeverBoth) {
  SignatureRequest request{"id-1", "ZGln", "", "rsa-sha256"};
  EXPECT_EQ(BuildSignatureRequestJson(request),
            R"({"digest_value":"ZGln","sign_identity_id":"id-1","signature_algorithm":"rsa-sha256"})");
  request.data = "ZGF0YQ==";
  EXPECT_EQ(BuildSignatureRequestJson(request),
            R"({"data":"ZGF0YQ==","sign_identity_id":"id-1","signature_algorithm":"rsa-sha256"})");
}

TEST(ServiceEndpoints, TableByUserTypeAndEnvironment) {
  ServiceHosts hosts{"cit.prod", "cit.dev", "pro.prod", "pro.dev"};
  EXPECT_EQ(ChooseApiEndpoint(hosts, UserType::kProfessional, true).base_url, "https://pro.prod");
  EXPECT_EQ(ChooseApiEndpoint(hosts, UserType::kProfessional, true).description,
            "Using PRODUCTION environment (profesional): pro.prod");
  EXPECT_EQ(ChooseApiEndpoint(hosts, UserType::kProfessional, false).base_url, "https://pro.dev:8082");
  EXPECT_EQ(ChooseApiEndpoint(hosts, UserType::kProfessional, false).description,
            "Using DEVELOPMENT environment (profesional): pro.dev:8082");
  EXPECT_EQ(ChooseApiEndpoint(hosts, UserType::kCitizen, true).base_url, "https://cit.prod");
  EXPECT_EQ(ChooseApiEndpoint(hosts, UserType::kCitizen, false).description,
            "Using DEVELOPMENT environment (ciudadano): cit.dev:8082");
  EXPECT_EQ(CitizenApiBaseUrl(hosts, false), "https://cit.dev:8082");
}

// One reading of each text form of a user type; words are exact and the caller names what any
// other text is.
TEST(UserTypes, WordsLabelsAndOAuthNumbersReadExactly) {
  for (UserType otherwise : {UserType::kCitizen, UserType::kProfessional}) {
    EXPECT_EQ(ParseUserType("ciudadano", otherwise), UserType::kCitizen);
    EXPECT_EQ(ParseUserType("profesional", otherwise), UserType::kProfessional);
    for (const char* other : {"", "Profesional", "CIUDADANO", "profesional "}) {
      EXPECT_EQ(ParseUserType(other, otherwise), otherwise) << other;
      EXPECT_FALSE(IsUserTypeWord(other)) << other;
    }
  }
  EXPECT_EQ(UserTypeWord(UserType::kProfessional), "profesional");
  EXPECT_EQ(UserTypeFromLabel("PROFESIONAL"), UserType::kProfessional);
  EXPECT_EQ(UserTypeFromLabel("CIUDADANO"), UserType::kCitizen);
  EXPECT_FALSE(UserTypeFromLabel("ciudadano"));
  EXPECT_EQ(OAuthUserTypeNumber(UserType::kProfessional), 1);
  EXPECT_EQ(UserTypeFromOAuthNumber(1), UserType::kProfessional);
  for (int other : {0, 2, -1}) EXPECT_EQ(UserTypeFromOAuthNumber(other), UserType::kCitizen);
  EXPECT_EQ(LinkingStorageKeysFor(UserType::kProfessional).sign_identity_id,
            "murako_sign_identity_id_profesional");
  EXPECT_EQ(ThumbprintMappingKeysFor("AB").user_type, "user_type_by_thumbprint_AB");
}

TEST(ServiceEndpoints, OnlyExactProdIsProduction) {
  EXPECT_TRUE(IsProductionValue(std::string("prod")));
  EXPECT_FALSE(IsProductionValue(std::string("PROD")));
  EXPECT_FALSE(IsProductionValue(std::string("prod ")));
  EXPECT_FALSE(IsProductionValue(std::string("")));
  EXPECT_FALSE(IsProductionValue(std::nullopt));
  EXPECT_FALSE(IsProductionValue(std::string("desa")));
}

// Attempts that fail with the scripted codes in order, then answer with a body.
struct ScriptedAttempts {
  std::vector<uint32_t> failures;
  std::vector<RequestAttempt> seen;
  AttemptFunction Function() {
    return [this](const RequestAttempt& attempt, uint32_t& last_error) -> std::optional<std::string> {
      seen.push_back(attempt);
      if (seen.size() <= failures.size()) {
        last_error = failures[seen.size() - 1];
        return std::nullopt;
      }
      last_error = 0;
      return std::string("{}");
    };
  }
};

TEST(ProxyFallback, NetworkFailureMovesToNextStrategyThenSucceeds) {
  DebugOutputCapture capture;
  ScriptedAttempts script{{12007}, {}};
  MurakoApiClient client("https://h:8082", "token", script.Function());
  EXPECT_EQ(client.Get("/x"), std::optional<std::string>("{}"));
  ASSERT_EQ(script.seen.size(), 2u);
  EXPECT_EQ(script.seen[0].access_type, ProxyAccessType::Automatic);
  EXPECT_EQ(script.seen[1].access_type, ProxyAccessType::Default);
  EXPECT_EQ(script.seen[1].host, L"h");
  EXPECT_EQ(script.seen[1].port, 8082);
  EXPECT_TRUE(Logged(capture, "AUTOMATIC_PROXY failed with NAME_NOT_RESOLVED (DNS failure), "
                              "retrying with DEFAULT_PROXY..."));
  EXPECT_TRUE(Logged(capture, "HTTP GET succeeded with DEFAULT_PROXY"));
}

TEST(ProxyFallback, AllStrategiesFailingEndsWithTheNetworkLine) {
  DebugOutputCapture capture;
  ScriptedAttempts script{{12029, 12031, 12007}, {}};
  MurakoApiClient client("https://h", "token", script.Function());
  EXPECT_FALSE(client.Post("/x", "{}"));
  ASSERT_EQ(script.seen.size(), 3u);
  EXPECT_EQ(script.seen[2].access_type, ProxyAccessType::None);
  EXPECT_EQ(script.seen[2].strategy_name, "NO_PROXY (direct)");
  EXPECT_EQ(CountLogged(capture, "[WARNING]"), 2u);
  EXPECT_TRUE(Logged(capture, "DEFAULT_PROXY failed with CONNECTION_RESET, retrying with NO_PROXY..."));
  EXPECT_TRUE(Logged(capture, "All HTTP POST strategies failed for https://h/x - possible "
                              "network/DNS issue (VPN disconnect, corporate proxy change)"));
}

TEST(ProxyFallback, StatusAndTimeoutFailuresAreNotRetried) {
  for (uint32_t code : {0u, 12002u, 12157u}) {
    DebugOutputCapture capture;
    ScriptedAttempts script{{code, code, code}, {}};
    MurakoApiClient client("https://h", "token", script.Function());
    EXPECT_FALSE(client.Get("/x"));
    EXPECT_EQ(script.seen.size(), 1u);
    EXPECT_TRUE(Logged(capture, "GET failed with non-retryable error: " + WinHttpErrorName(code)));
  }
}

TEST(ProxyFallback, RequestLogMasksTokenAndShowsPostBody) {
  DebugOutputCapture capture;
  ScriptedAttempts script;
  MurakoApiClient client("https://h:8082", "abcdefghij0123456789XYZ", script.Function());
  client.Post("/p", R"({"a":1})");
  EXPECT_TRUE(Logged(capture, "MurakoApiClient initialized with base URL: https://h:8082"));
  EXPECT_TRUE(Logged(capture, "Authorization: Bearer ab...YZ"));
  EXPECT_TRUE(Logged(capture, "Port: 8082"));
  EXPECT_TRUE(Logged(capture, R"(Request Body: {"a":1})"));
  EXPECT_TRUE(Logged(capture, "HTTP POST succeeded with AUTOMATIC_PROXY"));
}

TEST(ProxyFallback, InvalidPortMakesNoAttempt) {
  ScriptedAttempts script;
  MurakoApiClient client("https://h:80x2", "token", script.Function());
  EXPECT_FALSE(client.Get("/x"));
  EXPECT_TRUE(script.seen.empty());
}

TEST(Operations, ParseFailuresAreAbsentWithTwoErrorLines) {
  DebugOutputCapture capture;
  MurakoApiClient client("https://h", "t", [](const RequestAttempt&, uint32_t& error) {
    error = 0;
    return std::optional<std::string>(R"({"name":5})");
  });
  EXPECT_FALSE(client.GetUserInfo());
  EXPECT_TRUE(Logged(capture, "Failed to parse user info JSON: "));
  EXPECT_TRUE(Logged(capture, R"(Response was: {"name":5})"));
}

TEST(Operations, IdentityIdIsOnePathSegmentAndTokensInBodiesAreHidden) {
  DebugOutputCapture capture;
  std::wstring path;
  MurakoApiClient client("https://h", "t", [&](const RequestAttempt& attempt, uint32_t& error) {
    error = 0;
    path = attempt.path;
    return std::optional<std::string>(R"({"access_token":"leaked-token-value"})");
  });
  client.GetIdentityDetails("../users/me?x=1");
  EXPECT_EQ(path, L"/trustedx-resources/esigp/v1/sign_identities/..%2fusers%2fme%3fx%3d1");
  EXPECT_FALSE(Logged(capture, "leaked-token-value"));
  EXPECT_TRUE(Logged(capture, R"(Response Body: {"access_token":"[REDACTED]"})"));
}

TEST(Operations, SignHashReturnsBodyBytesUnchanged) {
  DebugOutputCapture capture;
  std::string sent_body;
  MurakoApiClient client("https://h", "t", [&](const RequestAttempt& attempt, uint32_t& error) {
    error = 0;
    sent_body = attempt.body;
    return std::optional<std::string>(std::string("\x00\x01\xFF", 3));
  });
  auto result = client.SignHash({"id-1", "ZGln", "", "rsa-pss-mgf1-sha256"});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->signature, (std::vector<uint8_t>{0x00, 0x01, 0xFF}));
  EXPECT_EQ(result->signature_algorithm, "rsa-pss-mgf1-sha256");
  EXPECT_EQ(sent_body, R"({"digest_value":"ZGln","sign_identity_id":"id-1","signature_algorithm":"rsa-pss-mgf1-sha256"})");
  EXPECT_TRUE(Logged(capture, "[TOAST SIGNATURE] Firmado correctamente (3 bytes)"));
  EXPECT_TRUE(Logged(capture, "Signature (first 16 bytes hex): 00 01 FF ..."));
}

}  // namespace
