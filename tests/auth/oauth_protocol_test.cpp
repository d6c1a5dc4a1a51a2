// The OAuth protocol as values: encoding, the authorization URL, the endpoints of each user
// type and environment, the grants' form bodies and the client secret.
#include <gtest/gtest.h>

#include <stdexcept>

#include "captured_log.h"
#include "oauth_protocol.h"

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
  EXPECT_EQ(ComposeAuthorizationUrl("https://cit-dev.example:8082/", "lumetra", UserType::kCitizen,
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

TEST(AuthorizationUrl, ProfessionalAcrValuesEncodedHintAndLocaleAndEmptyHint) {
  const std::string professional = ComposeAuthorizationUrl(
      "https://h/", "lumetra", UserType::kProfessional, kOAuthRedirectUri, "eu&x=/", "B1/2 3");
  EXPECT_NE(professional.find("&acr_values=urn%3Amurako%3Aauthentication%3Aflow%3Avex_otp"
                              "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3A"
                              "kovaid%3Aprof&state=&ui_locales=eu%26x%3d%2f&login_hint=B1%2f2%203"),
            std::string::npos)
      << professional;

  const std::string no_hint = ComposeAuthorizationUrl("https://h/", "lumetra", UserType::kCitizen,
                                                      kOAuthRedirectUri, "es", "");
  const std::string tail = "&state=&ui_locales=es&login_hint=";
  EXPECT_EQ(no_hint.substr(no_hint.size() - tail.size()), tail);
}

TEST(AuthorizationUrl, AFlowsStateAndS256ChallengeTravelInTheUrlAndTheVerifierInTheExchange) {
  // RFC 7636, appendix B.
  EXPECT_EQ(S256CodeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  const AuthorizationRequestProof proof{"st/1", "verifier", "chal-lenge_"};
  const std::string url = ComposeAuthorizationUrl("https://h/", "lumetra", UserType::kCitizen,
                                                  kOAuthRedirectUri, "es", "", proof);
  const std::string tail = "&state=st%2f1&ui_locales=es&login_hint="
                           "&code_challenge=chal-lenge_&code_challenge_method=S256";
  EXPECT_EQ(url.substr(url.size() - tail.size()), tail) << url;
  EXPECT_EQ(AuthorizationCodeGrantBody("c", kOAuthRedirectUri, "lumetra", "s", "v~1"),
            "grant_type=authorization_code&code=c&redirect_uri=oauth-swift%3a%2f%2foauth-callback"
            "&client_id=lumetra&client_secret=s&code_verifier=v~1");

  const auto first = NewAuthorizationRequestProof();
  const auto second = NewAuthorizationRequestProof();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->state, second->state);
  EXPECT_NE(first->code_verifier, second->code_verifier);
  EXPECT_EQ(first->code_verifier.size(), 43u);
  EXPECT_EQ(first->code_verifier.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~"),
            std::string::npos);
  EXPECT_EQ(S256CodeChallenge(first->code_verifier), first->code_challenge);
}

TEST(OAuthEndpoints, FourRowsAndUnknownUserTypesAsCitizen) {
  auto domain = ChooseOAuthDomain(kHosts, UserType::kCitizen, false);
  EXPECT_EQ(domain.address, "https://cit-dev.example:8082/");
  EXPECT_EQ(domain.log_line, "Using DEVELOPMENT OAuth domain (ciudadano)");
  domain = ChooseOAuthDomain(kHosts, UserType::kProfessional, true);
  EXPECT_EQ(domain.address, "https://pro-prod.example/");
  EXPECT_EQ(domain.log_line, "Using PRODUCTION OAuth domain (profesional)");
  EXPECT_EQ(ChooseOAuthDomain(kHosts, UserTypeFromOAuthNumber(7), true).address, "https://cit-prod.example/");

  auto token = ChooseTokenEndpoint(kHosts, UserType::kProfessional, false);
  EXPECT_EQ(token.host, "pro-dev.example");
  EXPECT_EQ(token.port, 8082);
  EXPECT_EQ(token.log_line, "Using DEVELOPMENT token endpoint (profesional)");
  token = ChooseTokenEndpoint(kHosts, UserType::kCitizen, true);
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

}  // namespace
