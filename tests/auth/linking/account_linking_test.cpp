// The linking continuation, first with a scripted REST API, a recording certificate store and
// a fixed clock (what it stores and answers, and that the earlier certificates leave the store
// before the new ones are downloaded), then against the signing service double with the real
// personal store and credential storage: what a linking installs and maps for each account.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "account_linking.h"
#include "captured_log.h"
#include "cert_store_manager.h"
#include "fixture_files.h"
#include "linking_storage.h"
#include "login_hint.h"
#include "oauth_protocol.h"
#include "saved_credentials.h"
#include "secure_storage.h"
#include "service_double_control.h"
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
                       UserType user_type) -> ValueOrReason<std::string> {
      events.push_back("add " + id + " " + UserTypeWord(user_type));
      tokens_given.push_back(token);
      if (std::find(failing.begin(), failing.end(), id) != failing.end()) return Reason{"refused"};
      return "THUMB-" + id;
    };
    return store;
  }
};

class AccountLinkingFlow : public ::testing::Test {
 protected:
  AccountLinking Linking(UserType type, std::optional<std::string> environment = std::nullopt) {
    AccountLinkingSeams seams;
    seams.read_environment = [environment] { return environment; };
    seams.create_api_client = [this](const std::string& url, const std::string& token) {
      base_urls_.push_back(url);
      return api_.Client(url, token);
    };
    seams.clock = [] { return kNow; };
    seams.store = store_.Seam();
    return AccountLinking(type, seams);
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
  AccountLinkingResult result = Linking(UserType::kCitizen).OnLinkingTokenReceived(std::nullopt);
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
  AccountLinkingResult result = Linking(UserType::kCitizen).OnLinkingTokenReceived(Token(""));
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
  Linking(UserType::kProfessional).OnLinkingTokenReceived(Token());
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_profesional"), "new-refresh");
  EXPECT_TRUE(LoggedExactly(professional, "ERROR",
                            "[TOAST OAUTH] Error obteniendo info de usuario (profesional)"));
}

TEST_F(AccountLinkingFlow, TheApiOfTheUserTypeAndEnvironmentIsAskedWithTheNewToken) {
  const ServiceHosts hosts = DeploymentServiceHosts();
  Linking(UserType::kCitizen).OnLinkingTokenReceived(Token());
  Linking(UserType::kProfessional, std::string("prod")).OnLinkingTokenReceived(Token());
  Linking(UserType::kProfessional, std::string("PROD")).OnLinkingTokenReceived(Token());
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
  AccountLinkingResult result = Linking(UserType::kProfessional).OnLinkingTokenReceived(Token());
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
  EXPECT_EQ(Linking(UserType::kProfessional).OnLinkingTokenReceived(Token()).message,
            "No se encontraron certificados profesionales para el CIF del usuario");
  EXPECT_EQ(Linking(UserType::kCitizen).OnLinkingTokenReceived(Token()).message,
            "No se encontraron certificados de ciudadano");

  api_.UserInfo("", {});
  DebugOutputCapture empty;
  EXPECT_EQ(Linking(UserType::kCitizen).OnLinkingTokenReceived(Token()).message,
            "No se encontraron identidades");
  EXPECT_EQ(SecureStorage::GetToken("murako_sign_identities_ciudadano"), "[]");
  EXPECT_TRUE(LoggedExactly(empty, "ERROR", "  \xE2\x9D\x8C No sign_identities found"));
  EXPECT_TRUE(store_.events.empty());
}

TEST_F(AccountLinkingFlow, OneOfTwoDownloadsFailing) {
  api_.UserInfo("", {IdentityJson("good", "vexo"), IdentityJson("lost", "VEXO")});
  api_.Details("good", FixtureBase64("citizen"));
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(UserType::kCitizen).OnLinkingTokenReceived(Token());
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
                "  \xF0\x9F\x97\x91\xEF\xB8\x8F Removing previous certificates from store...",
                "  \xF0\x9F\x93\xA5 Downloading and installing certificates...",
                "    [1/2] good", "    \xE2\x9C\x85 Certificate downloaded (",
                "    \xE2\x9C\x85 Installed: ",
                "    [2/2] lost", "] [ERROR]     \xE2\x9D\x8C Failed to download certificate",
                "\xF0\x9F\x8E\x89 [Windows] Linking completed: 1/2 certificates"}));
}

TEST_F(AccountLinkingFlow, AnIdentityIdWithALineFeedStaysInItsOneLogLine) {
  api_.UserInfo("", {IdentityJson("forged\n[2026-03-05 14:07:09] [INFO] Installed", "vexo")});
  DebugOutputCapture capture;
  Linking(UserType::kCitizen).OnLinkingTokenReceived(Token());
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "    [1/1] forged\\x0A[2026-03-05 14:07:09] [INFO] Installed"));
  for (const std::string& line : capture.Lines()) {
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
  }
}

TEST_F(AccountLinkingFlow, EarlierCertificatesGoEvenWhenNoNewOneArrives) {
  api_.UserInfo("", {IdentityJson("lost", "vexo"), IdentityJson("garbled", "vexo"),
                     IdentityJson("", "vexo")});
  api_.Details("garbled", "not a certificate");
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(UserType::kCitizen).OnLinkingTokenReceived(Token());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.installed, 0);
  EXPECT_EQ(result.message, "0 de 3 certificados instalados");
  EXPECT_FALSE(result.userInfo);
  EXPECT_EQ(store_.events, (std::vector<std::string>{"remove_all"}));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "    \xE2\x9D\x8C Failed to parse certificate"));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "    \xE2\x9A\xA0\xEF\xB8\x8F No identity_id, skipping"));
}

TEST_F(AccountLinkingFlow, FailedInstallsAreCountedOut) {
  api_.UserInfo("B12345674", {IdentityJson("p1", "CIF:B12345674"), IdentityJson("p2", "CIF: b12345674")});
  api_.Details("p1", FixtureBase64("professional"));
  api_.Details("p2", FixtureBase64("professional"));
  store_.failing = {"p1", "p2"};
  DebugOutputCapture capture;
  AccountLinkingResult result = Linking(UserType::kProfessional).OnLinkingTokenReceived(Token());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "0 de 2 certificados instalados");
  EXPECT_EQ(store_.events, (std::vector<std::string>{"remove_all", "add p1 profesional",
                                                     "add p2 profesional"}));
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "  \xE2\x9C\x85 Found 2 profesional certificate(s) matching CIF B12345674"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "    \xE2\x9D\x8C Failed to install certificate"));

  store_.failing = {"p2"};
  result = Linking(UserType::kProfessional).OnLinkingTokenReceived(Token());
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
  AccountLinkingResult result = AccountLinking(UserType::kCitizen, seams).OnLinkingTokenReceived(Token());
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "Unknown error");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "  \xE2\x9D\x8C Linking failed: store gone"));
}

std::set<std::string> InstalledThumbprints() {
  std::set<std::string> thumbprints;
  for (const InstalledCertificate& certificate : CertStoreManager::ListInstalledCertificates()) {
    thumbprints.insert(certificate.thumbprint);
  }
  return thumbprints;
}

class AccountLinkingService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running "
                                         "(scripts/service-double.sh start)";
    accounts_ = control_.Accounts();
    SecureStorage::DeleteToken(kEnvironmentKey);
    CertStoreManager::RemoveAllCertificates();
  }
  void TearDown() override {
    CertStoreManager::RemoveAllCertificates();
    for (const auto& identity : accounts_["identities"].items()) {
      const std::string thumbprint = identity.value()["thumbprint"];
      SecureStorage::DeleteToken("sign_identity_by_thumbprint_" + thumbprint);
      SecureStorage::DeleteToken("user_type_by_thumbprint_" + thumbprint);
    }
  }

  std::string Thumbprint(const std::string& identity) const {
    return accounts_["identities"][identity]["thumbprint"];
  }
  std::set<std::string> Thumbprints(const std::vector<std::string>& identities) const {
    std::set<std::string> thumbprints;
    for (const std::string& id : identities) thumbprints.insert(Thumbprint(id));
    return thumbprints;
  }
  murako::OAuthToken TokenOf(const std::string& account) const {
    murako::OAuthToken token;
    token.access_token = control_.NewToken(account);
    token.refresh_token = "refresh-" + account;
    return token;
  }
  // The real REST client, except that the details of the identities named fail as a 500 would.
  AccountLinkingSeams FailingDetails(std::vector<std::string> failing) const {
    AccountLinkingSeams seams;
    seams.create_api_client = [failing](const std::string& url, const std::string& token) {
      return MurakoApiClient(url, token, [failing](const RequestAttempt& attempt, uint32_t& error) {
        const std::string path = WideToUtf8(attempt.path);
        for (const std::string& id : failing) {
          if (path == kSignIdentityPath + id) {
            error = 0;
            return std::optional<std::string>();
          }
        }
        return MurakoApiClient::TryWinHttpRequest(attempt, error);
      });
    };
    return seams;
  }

  ServiceDoubleControl control_;
  nlohmann::json accounts_;
  SavedCredentials saved_{LinkingCredentialKeys()};
};

TEST_F(AccountLinkingService, CitizenLinkingInstallsEveryVexoIdentityBoundAndMapped) {
  AccountLinkingResult result =
      AccountLinking(UserType::kCitizen).OnLinkingTokenReceived(TokenOf("ciudadano"));
  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.installed, 4);  // the status is not looked at: the disabled one too
  EXPECT_EQ(result.message, "4 de 4 certificados instalados");
  ASSERT_TRUE(result.userInfo);
  EXPECT_EQ(result.userInfo->nombre, "LUCIA FERNANDEZ MORENO");
  EXPECT_EQ(result.userInfo->dni, "12345678Z");

  const std::vector<std::string> ids{"cit-rsa2048", "cit-rsa3072", "cit-rsa4096", "cit-disabled"};
  EXPECT_EQ(InstalledThumbprints(), Thumbprints(ids));
  for (const InstalledCertificate& certificate : CertStoreManager::ListInstalledCertificates()) {
    EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + certificate.thumbprint),
              certificate.signIdentityId);
    EXPECT_EQ(SecureStorage::GetToken("user_type_by_thumbprint_" + certificate.thumbprint),
              "ciudadano");
    EXPECT_EQ(certificate.oauthToken, SecureStorage::GetToken("oauth_access_token_ciudadano"));
  }
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"), "refresh-ciudadano");
  // The next sign-in proposes the DNI just stored.
  EXPECT_EQ(ReadLoginHint(UserType::kCitizen), "12345678Z");
}

TEST_F(AccountLinkingService, EarlierCertificatesLeaveBeforeTheNewOnesAreDownloaded) {
  AccountLinkingResult professional =
      AccountLinking(UserType::kProfessional).OnLinkingTokenReceived(TokenOf("profesional"));
  EXPECT_EQ(professional.message, "3 de 3 certificados instalados");
  ASSERT_TRUE(professional.userInfo);
  EXPECT_EQ(professional.userInfo->dni, "B12345674");
  const std::set<std::string> earlier = Thumbprints({"pro-rsa2048", "pro-rsa3072", "pro-disabled"});
  ASSERT_EQ(InstalledThumbprints(), earlier);

  const std::vector<std::string> citizen{"cit-rsa2048", "cit-rsa3072", "cit-rsa4096",
                                         "cit-disabled"};
  DebugOutputCapture capture;
  AccountLinkingResult failed = AccountLinking(UserType::kCitizen, FailingDetails(citizen))
                                    .OnLinkingTokenReceived(TokenOf("ciudadano"));
  EXPECT_FALSE(failed.success);
  EXPECT_EQ(failed.installed, 0);
  EXPECT_EQ(failed.message, "0 de 4 certificados instalados");
  // No certificate of the earlier account stays bound to the new account's token.
  EXPECT_TRUE(InstalledThumbprints().empty());

  // One failed download among several: the others are installed.
  AccountLinkingResult partial = AccountLinking(UserType::kCitizen, FailingDetails({"cit-rsa3072"}))
                                     .OnLinkingTokenReceived(TokenOf("ciudadano"));
  EXPECT_TRUE(partial.success);
  EXPECT_EQ(partial.installed, 3);
  EXPECT_EQ(partial.message, "3 de 4 certificados instalados");
  EXPECT_EQ(InstalledThumbprints(), Thumbprints({"cit-rsa2048", "cit-rsa4096", "cit-disabled"}));
}

TEST_F(AccountLinkingService, ThumbprintMappingsForEnabledIdentitiesOfTheUserType) {
  const std::string token = control_.NewToken("ciudadano");
  MurakoApiClient api(GetApiBaseUrl(UserType::kCitizen), token);
  std::optional<UserInfo> user = api.GetUserInfo();
  ASSERT_TRUE(user);
  std::vector<SignIdentity> identities = user->sign_identities;
  identities.push_back({"ghost", "", {"vexo"}, "enabled"});

  DebugOutputCapture capture;
  EXPECT_EQ(CreateThumbprintMappings(UserType::kCitizen, identities, api), 3);
  for (const char* id : {"cit-rsa2048", "cit-rsa3072", "cit-rsa4096"}) {
    EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + Thumbprint(id)), id);
    EXPECT_EQ(SecureStorage::GetToken("user_type_by_thumbprint_" + Thumbprint(id)), "ciudadano");
  }
  EXPECT_FALSE(SecureStorage::GetToken("sign_identity_by_thumbprint_" + Thumbprint("cit-disabled")));
  const std::string key = "sign_identity_by_thumbprint_" + Thumbprint("cit-rsa2048");
  EXPECT_TRUE(LoggedInOrder(
      capture, {"] [INFO] Creating thumbprint\xE2\x86\x92sign_identity_id mappings for KSP...",
                "] [INFO] Filtering identities for user_type: ciudadano",
                "] [INFO] Identity cit-rsa2048 has 'vexo' label - processing as ciudadano",
                "] [INFO]   \xE2\x9C\x85 Stored thumbprint mapping: " + key + " \xE2\x86\x92 cit-rsa2048",
                "] [INFO] Stored user_type: " + Thumbprint("cit-rsa2048") + " \xE2\x86\x92 ciudadano",
                "] [INFO] Skipping identity cit-disabled (status: disabled)",
                "] [ERROR] Failed to get certificate for identity: ghost"}));

  DebugOutputCapture other_type;
  EXPECT_EQ(CreateThumbprintMappings(UserType::kProfessional, user->sign_identities, api), 0);
  EXPECT_TRUE(LoggedExactly(other_type, "INFO",
                            "Skipping identity cit-rsa2048 (no matching label for profesional)"));

  // An exception with one identity stops only that identity's mappings.
  for (const char* id : {"cit-rsa2048", "cit-rsa3072", "cit-rsa4096"}) {
    SecureStorage::DeleteToken("sign_identity_by_thumbprint_" + Thumbprint(id));
  }
  MurakoApiClient breaking(GetApiBaseUrl(UserType::kCitizen), token,
                           [](const RequestAttempt& attempt, uint32_t& last_error) {
                             if (attempt.path.find(L"cit-rsa3072") != std::wstring::npos) {
                               throw std::runtime_error("connection dropped");
                             }
                             return MurakoApiClient::TryWinHttpRequest(attempt, last_error);
                           });
  DebugOutputCapture broken;
  EXPECT_EQ(CreateThumbprintMappings(UserType::kCitizen, user->sign_identities, breaking), 2);
  EXPECT_TRUE(LoggedExactly(broken, "ERROR",
                            "Exception while creating mapping for identity cit-rsa3072: "
                            "connection dropped"));
  EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + Thumbprint("cit-rsa4096")),
            "cit-rsa4096");
  EXPECT_FALSE(SecureStorage::GetToken("sign_identity_by_thumbprint_" + Thumbprint("cit-rsa3072")));
}

}  // namespace
