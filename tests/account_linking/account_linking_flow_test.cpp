// The linking continuation with a scripted REST API, a recording certificate store and a
// fixed clock: what it stores, what it answers, and that the earlier certificates leave the
// store only when a new one is ready to take their place.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "account_linking.h"
#include "captured_log.h"
#include "certificate_test_support.h"
#include "linking_test_support.h"
#include "oauth_protocol.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "string_conversion.h"

namespace {

const int64_t kNow = 17000000005000000;  // 1 700 000 000.5 s since 1970

// A REST API answering from a table of paths; a missing path is a failed request.
class ScriptedApi {
 public:
  std::map<std::string, std::string> answers;
  std::vector<RequestAttempt> seen;

  MurakoApiClient Client(const std::string& base_url, const std::string& token) {
    return MurakoApiClient(base_url, token,
                           [this](const RequestAttempt& attempt, uint32_t& last_error) {
                             seen.push_back(attempt);
                             last_error = 0;
                             auto answer = answers.find(WideToUtf8(attempt.path));
                             if (answer == answers.end()) return std::optional<std::string>();
                             return std::optional<std::string>(answer->second);
                           });
  }

  void UserInfo(const std::string& cif, const std::vector<nlohmann::json>& identities) {
    answers[kUserInfoPath] = nlohmann::json{{"name", "LUCIA"}, {"dni", "12345678Z"}, {"cif", cif},
                                            {"organization", "ORG"},
                                            {"sign_identities", nlohmann::json(identities)}}
                                 .dump();
  }
  void Details(const std::string& id, const std::string& certificate) {
    answers[kSignIdentityPath + id] =
        nlohmann::json{{"id", id}, {"certificate", certificate}}.dump();
  }
};

nlohmann::json IdentityJson(const std::string& id, const std::string& label) {
  return {{"id", id}, {"self", "https://h/" + id}, {"labels", {label}}, {"status", "enabled"}};
}

// Records what the linking did to the store; adds fail for the identities named.
struct RecordingStore {
  std::vector<std::string> events;
  std::vector<std::string> failing;
  std::vector<std::string> tokens_given;

  LinkingCertificateStore Seam() {
    LinkingCertificateStore store;
    store.remove_all = [this] {
      events.push_back("remove_all");
      return true;
    };
    store.add = [this](const CertificateInfo&, const std::string& id, const std::string& token,
                       const std::string& user_type, std::string& thumbprint) {
      events.push_back("add " + id + " " + user_type);
      tokens_given.push_back(token);
      thumbprint = "THUMB-" + id;
      return std::find(failing.begin(), failing.end(), id) == failing.end();
    };
    return store;
  }
};

class AccountLinkingFlow : public ::testing::Test {
 protected:
  AccountLinking Linking(int user_type, std::optional<std::string> environment = std::nullopt) {
    AccountLinkingSeams seams;
    seams.read_environment = [environment] { return environment; };
    seams.create_api_client = [this](const std::string& url, const std::string& token) {
      base_urls_.push_back(url);
      return api_.Client(url, token);
    };
    seams.clock = [] { return kNow; };
    seams.store = store_.Seam();
    return AccountLinking(user_type, seams);
  }
  static murako::OAuthToken Token(const std::string& refresh = "new-refresh") {
    murako::OAuthToken token;
    token.access_token = "access-1";
    token.refresh_token = refresh;
    token.expires_in = 3600;
    return token;
  }

  SavedCredentials saved_{LinkingCredentialKeys()};
  ScriptedApi api_;
  RecordingStore store_;
  std::vector<std::string> base_urls_;
};

TEST_F(AccountLinkingFlow, NoTokenAnswersTheAuthenticationFailureAndTouchesNothing) {
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(kOAuthCitizen).OnLinkingTokenReceived(std::nullopt);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.installed, 0);
  EXPECT_EQ(result.message,
            "Error de autenticacion. Comprueba tu conexion de red e intentalo de nuevo.");
  EXPECT_FALSE(result.userInfo);
  EXPECT_TRUE(base_urls_.empty());
  EXPECT_TRUE(store_.events.empty());
  EXPECT_TRUE(LoggedInOrder(capture, {"] [INFO]   OAuth completed",
                                      "] [WARNING]   OAuth flow failed - no token received"}));
}

TEST_F(AccountLinkingFlow, TokensAndExpiryAreStoredBeforeAFailedUserInfo) {
  ASSERT_TRUE(SecureStorage::StoreToken("oauth_refresh_token_ciudadano", "older-refresh"));
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(kOAuthCitizen).OnLinkingTokenReceived(Token(""));
  EXPECT_EQ(result.message, "Error obteniendo informaci\xC3\xB3n de usuario");
  EXPECT_FALSE(result.success);
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), "access-1");
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"), "older-refresh");
  EXPECT_EQ(SecureStorage::GetToken("oauth_token_expiry_ciudadano"), "1700003600");
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "  \xE2\x9C\x85 Token stored (expires in 3600 seconds)"));
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "[TOAST OAUTH] Token ciudadano (expira en 60 min)"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "  \xE2\x9D\x8C Failed to get user info"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "[TOAST OAUTH] Error obteniendo info de usuario"));
  EXPECT_TRUE(store_.events.empty());

  // A new refresh token replaces the old one; the professional notice names its account.
  DebugOutputCapture professional;
  Linking(kOAuthProfessional).OnLinkingTokenReceived(Token());
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_profesional"), "new-refresh");
  EXPECT_TRUE(LoggedExactly(professional, "ERROR",
                            "[TOAST OAUTH] Error obteniendo info de usuario (profesional)"));
}

TEST_F(AccountLinkingFlow, TheApiOfTheUserTypeAndEnvironmentIsAskedWithTheNewToken) {
  const ServiceHosts hosts = DeploymentServiceHosts();
  Linking(kOAuthCitizen).OnLinkingTokenReceived(Token());
  Linking(kOAuthProfessional, std::string("prod")).OnLinkingTokenReceived(Token());
  Linking(kOAuthProfessional, std::string("PROD")).OnLinkingTokenReceived(Token());
  EXPECT_EQ(base_urls_, (std::vector<std::string>{
                            "https://" + hosts.citizen_development + ":8082",
                            "https://" + hosts.professional_production,
                            "https://" + hosts.professional_development + ":8082"}));
  ASSERT_FALSE(api_.seen.empty());
  EXPECT_EQ(api_.seen[0].access_token, "access-1");
}

TEST_F(AccountLinkingFlow, UserDataIsStoredAsCompactJsonEvenWhenNothingIsSelected) {
  api_.UserInfo("b12345674", {IdentityJson("p1", "CIF:A00000000"), IdentityJson("c1", "vexo")});
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(kOAuthProfessional).OnLinkingTokenReceived(Token());
  EXPECT_EQ(result.message, "No se encontraron certificados profesionales para el CIF del usuario");
  EXPECT_FALSE(result.success);
  EXPECT_TRUE(store_.events.empty());  // nothing removed
  EXPECT_EQ(SecureStorage::GetToken("murako_user_info_profesional"),
            "{\"cif\":\"b12345674\",\"dni\":\"12345678Z\",\"name\":\"LUCIA\",\"organization\":\"ORG\"}");
  EXPECT_EQ(SecureStorage::GetToken("murako_sign_identities_profesional"),
            "[{\"id\":\"p1\",\"labels\":[\"CIF:A00000000\"],\"self_url\":\"https://h/p1\","
            "\"status\":\"enabled\"},{\"id\":\"c1\",\"labels\":[\"vexo\"],\"self_url\":"
            "\"https://h/c1\",\"status\":\"enabled\"}]");
  EXPECT_TRUE(LoggedInOrder(
      capture,
      {"  \xE2\x9C\x85 User info stored (name: LUCIA, cif: b12345674)",
       "  \xF0\x9F\x93\x9D Filtering profesional certificates (label 'CIF:')...",
       "    \xE2\x8F\xAD\xEF\xB8\x8F CIF mismatch: A00000000 != B12345674, skipping",
       "] [WARNING]   \xE2\x9A\xA0\xEF\xB8\x8F No profesional certificates matching user CIF "
       "'B12345674'"}));

  api_.UserInfo("", {IdentityJson("p1", "CIF:")});
  EXPECT_EQ(Linking(kOAuthProfessional).OnLinkingTokenReceived(Token()).message,
            "No se encontraron certificados profesionales para el CIF del usuario");
  EXPECT_EQ(Linking(kOAuthCitizen).OnLinkingTokenReceived(Token()).message,
            "No se encontraron certificados de ciudadano");

  api_.UserInfo("", {});
  DebugOutputCapture empty;
  EXPECT_EQ(Linking(kOAuthCitizen).OnLinkingTokenReceived(Token()).message,
            "No se encontraron identidades");
  EXPECT_EQ(SecureStorage::GetToken("murako_sign_identities_ciudadano"), "[]");
  EXPECT_TRUE(LoggedExactly(empty, "ERROR", "  \xE2\x9D\x8C No sign_identities found"));
  EXPECT_TRUE(store_.events.empty());
}

TEST_F(AccountLinkingFlow, OneOfTwoDownloadsFailing) {
  api_.UserInfo("", {IdentityJson("good", "vexo"), IdentityJson("lost", "VEXO")});
  api_.Details("good", FixtureBase64("citizen"));
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(kOAuthCitizen).OnLinkingTokenReceived(Token());
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.installed, 1);
  EXPECT_EQ(result.message, "1 de 2 certificados instalados");
  ASSERT_TRUE(result.userInfo);
  EXPECT_EQ(result.userInfo->dni, "12345678Z");
  EXPECT_EQ(result.userInfo->tipo, "ciudadano");
  EXPECT_EQ(store_.events, (std::vector<std::string>{"remove_all", "add good ciudadano"}));
  EXPECT_EQ(store_.tokens_given, (std::vector<std::string>{"access-1"}));
  EXPECT_TRUE(LoggedContaining(capture, " (THUMB-good)"));
  EXPECT_TRUE(LoggedInOrder(
      capture, {"  \xE2\x9C\x85 Found 2 ciudadano certificate(s)",
                "  \xF0\x9F\x93\xA5 Downloading and installing certificates...",
                "    [1/2] good", "    \xE2\x9C\x85 Certificate downloaded (",
                "    [2/2] lost", "] [ERROR]     \xE2\x9D\x8C Failed to download certificate",
                "  \xF0\x9F\x97\x91\xEF\xB8\x8F Removing previous certificates from store...",
                "    \xE2\x9C\x85 Installed: ",
                "\xF0\x9F\x8E\x89 [Windows] Linking completed: 1/2 certificates"}));
}

TEST_F(AccountLinkingFlow, NoCertificateReadyKeepsTheEarlierOnes) {
  api_.UserInfo("", {IdentityJson("lost", "vexo"), IdentityJson("garbled", "vexo"),
                     IdentityJson("", "vexo")});
  api_.Details("garbled", "not a certificate");
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(kOAuthCitizen).OnLinkingTokenReceived(Token());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.installed, 0);
  EXPECT_EQ(result.message, "0 de 3 certificados instalados");
  EXPECT_FALSE(result.userInfo);
  EXPECT_TRUE(store_.events.empty());
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "    \xE2\x9D\x8C Failed to parse certificate"));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "    \xE2\x9A\xA0\xEF\xB8\x8F No identity_id, skipping"));
  EXPECT_FALSE(LoggedContaining(capture, "Removing previous certificates"));
}

TEST_F(AccountLinkingFlow, FailedInstallsAreCountedOut) {
  api_.UserInfo("B12345674", {IdentityJson("p1", "CIF:B12345674"), IdentityJson("p2", "CIF: b12345674")});
  api_.Details("p1", FixtureBase64("professional"));
  api_.Details("p2", FixtureBase64("professional"));
  store_.failing = {"p1", "p2"};
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(kOAuthProfessional).OnLinkingTokenReceived(Token());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "0 de 2 certificados instalados");
  EXPECT_EQ(store_.events, (std::vector<std::string>{"remove_all", "add p1 profesional",
                                                     "add p2 profesional"}));
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "  \xE2\x9C\x85 Found 2 profesional certificate(s) matching CIF B12345674"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "    \xE2\x9D\x8C Failed to install certificate"));

  store_.failing = {"p2"};
  result = Linking(kOAuthProfessional).OnLinkingTokenReceived(Token());
  EXPECT_TRUE(result.success);
  ASSERT_TRUE(result.userInfo);
  EXPECT_EQ(result.userInfo->dni, "B12345674");
  EXPECT_EQ(result.userInfo->organizacion, "ORG");
}

TEST_F(AccountLinkingFlow, AnExceptionFromASeamBecomesAnAnswer) {
  api_.UserInfo("", {IdentityJson("good", "vexo")});
  api_.Details("good", FixtureBase64("citizen"));
  AccountLinkingSeams seams;
  seams.read_environment = [] { return std::optional<std::string>(); };
  seams.create_api_client = [this](const std::string& url, const std::string& token) {
    return api_.Client(url, token);
  };
  seams.store.remove_all = []() -> bool { throw std::runtime_error("store gone"); };
  DebugOutputCapture capture;
  AccountLinkingResult result = AccountLinking(kOAuthCitizen, seams).OnLinkingTokenReceived(Token());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "Unknown error");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "  \xE2\x9D\x8C Linking failed: store gone"));
}

}  // namespace
