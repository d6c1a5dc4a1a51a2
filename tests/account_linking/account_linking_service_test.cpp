// Account linking against the signing service double (scripts/service-double.sh starts it)
// with the real personal store and credential storage: what a linking installs and maps for
// each account, and that a linking whose downloads fail leaves the earlier certificates.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "account_linking.h"
#include "captured_log.h"
#include "cert_store_manager.h"
#include "linking_test_support.h"
#include "login_hint.h"
#include "oauth_protocol.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "thumbprint_mappings.h"

namespace {

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
      AccountLinking(kOAuthCitizen).OnLinkingTokenReceived(TokenOf("ciudadano"));
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
  EXPECT_EQ(ReadLoginHint("ciudadano"), "12345678Z");
}

TEST_F(AccountLinkingService, EarlierCertificatesStayWhenNoNewOneCanBeDownloaded) {
  AccountLinkingResult professional =
      AccountLinking(kOAuthProfessional).OnLinkingTokenReceived(TokenOf("profesional"));
  EXPECT_EQ(professional.message, "3 de 3 certificados instalados");
  ASSERT_TRUE(professional.userInfo);
  EXPECT_EQ(professional.userInfo->dni, "B12345674");
  const std::set<std::string> earlier = Thumbprints({"pro-rsa2048", "pro-rsa3072", "pro-disabled"});
  ASSERT_EQ(InstalledThumbprints(), earlier);

  const std::vector<std::string> citizen{"cit-rsa2048", "cit-rsa3072", "cit-rsa4096",
                                         "cit-disabled"};
  DebugOutputCapture capture;
  AccountLinkingResult failed = AccountLinking(kOAuthCitizen, FailingDetails(citizen))
                                    .OnLinkingTokenReceived(TokenOf("ciudadano"));
  EXPECT_FALSE(failed.success);
  EXPECT_EQ(failed.installed, 0);
  EXPECT_EQ(failed.message, "0 de 4 certificados instalados");
  EXPECT_EQ(InstalledThumbprints(), earlier);
  EXPECT_FALSE(LoggedContaining(capture, "CertStoreManager::RemoveAllCertificates"));

  // One failed download among several: the others replace the earlier certificates.
  AccountLinkingResult partial = AccountLinking(kOAuthCitizen, FailingDetails({"cit-rsa3072"}))
                                     .OnLinkingTokenReceived(TokenOf("ciudadano"));
  EXPECT_TRUE(partial.success);
  EXPECT_EQ(partial.installed, 3);
  EXPECT_EQ(partial.message, "3 de 4 certificados instalados");
  EXPECT_EQ(InstalledThumbprints(), Thumbprints({"cit-rsa2048", "cit-rsa4096", "cit-disabled"}));
}

TEST_F(AccountLinkingService, ThumbprintMappingsForEnabledIdentitiesOfTheUserType) {
  const std::string token = control_.NewToken("ciudadano");
  MurakoApiClient api(GetApiBaseUrl("ciudadano"), token);
  std::optional<UserInfo> user = api.GetUserInfo();
  ASSERT_TRUE(user);
  std::vector<SignIdentity> identities = user->sign_identities;
  identities.push_back({"ghost", "", {"vexo"}, "enabled"});

  DebugOutputCapture capture;
  EXPECT_EQ(CreateThumbprintMappings("ciudadano", identities, api), 3);
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
  EXPECT_EQ(CreateThumbprintMappings("profesional", user->sign_identities, api), 0);
  EXPECT_TRUE(LoggedExactly(other_type, "INFO",
                            "Skipping identity cit-rsa2048 (no matching label for profesional)"));
}

}  // namespace
