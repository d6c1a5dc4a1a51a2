// The road from sign-in to a verified signature, through the CNG router stand-in: the
// configuration tool registers the real provider; an authorization code minted at the signing
// service double stands in for the embedded browser's redirect; the OAuth manager exchanges it
// for tokens; account linking stores them, fetches the citizen's profile and identities and
// installs the certificates bound to the provider with their mappings; a separate program signs
// through CNG, the provider, the signing bridge and the service, and verifies; the provider is
// unregistered; the certificates and credential entries of the run are removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "account_linking.h"
#include "api_log_text.h"
#include "cert_store_manager.h"
#include "debug_output_capture.h"
#include "isolated_process.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "test_environment.h"

namespace {

const wchar_t kProviderKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers\\Murako KSP";
const wchar_t kKeyStorageContext[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local\\Default\\00010001";
const char kSigningIdentity[] = "cit-rsa2048";

void Show(const std::string& title, const IsolatedRun& run) {
  std::cout << "----- " << title << " (exit " << run.exit_code << ")\n" << run.output << std::flush;
}

void ShowLog(const std::string& title, const DebugOutputCapture& capture) {
  std::cout << "----- " << title << "\n";
  for (const std::string& line : capture.Lines()) std::cout << line;
  std::cout << std::flush;
}

// The credential entries a linking writes, kept aside for the run and put back afterwards.
class SavedCredentials {
 public:
  SavedCredentials() {
    for (const char* key : {"murako_environment", "oauth_access_token_ciudadano",
                            "oauth_refresh_token_ciudadano", "oauth_token_expiry_ciudadano",
                            "murako_user_info_ciudadano", "murako_sign_identities_ciudadano"}) {
      saved_.push_back({key, SecureStorage::GetToken(key)});
    }
  }
  ~SavedCredentials() {
    for (const auto& entry : saved_) {
      if (entry.second) {
        SecureStorage::StoreToken(entry.first, *entry.second);
      } else {
        SecureStorage::DeleteToken(entry.first);
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class SignInRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running "
                                         "(scripts/service-double.sh start)";
    SecureStorage::DeleteToken(kEnvironmentKey);
  }
  void TearDown() override {
    std::cout << "----- clean-up\n";
    for (const InstalledCertificate& certificate : CertStoreManager::ListInstalledCertificates()) {
      CertStoreManager::RemoveCertificate(certificate.thumbprint);
      SecureStorage::DeleteToken("sign_identity_by_thumbprint_" + certificate.thumbprint);
      SecureStorage::DeleteToken("user_type_by_thumbprint_" + certificate.thumbprint);
      std::cout << "removed " << certificate.subjectCn << " (" << certificate.thumbprint
                << ") and its mappings\n";
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProviderKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKeyStorageContext);
    std::cout << "credential entries of the run put back as they were\n" << std::flush;
  }

  ServiceDoubleControl control_;
  IsolatedProgram tool_{"MurakoKspConfig.exe", {"ncrypt.dll", "bcrypt.dll"}};
  // The signing program needs bcrypt's real cryptography: it gets the router only.
  IsolatedProgram client_{"cng_sign_client.exe", {"ncrypt.dll"}};
  SystemFilePlacement provider_{ProgramDirectory() + "murako_ksp.dll", "murako_ksp.dll"};
  SystemFilePlacement bridge_{ProgramDirectory() + "murako_sign_bridge.dll",
                              "murako_sign_bridge.dll"};
  SavedCredentials credentials_;
};

TEST_F(SignInRoadTest, SignInLinkSignVerify) {
  ASSERT_TRUE(provider_.placed()) << "murako_ksp.dll is not in the build";
  ASSERT_TRUE(bridge_.placed()) << "murako_sign_bridge.dll is not in the build";
  CertStoreManager::RemoveAllCertificates();

  IsolatedRun registered = tool_.Run({"-register"});
  Show("MurakoKspConfig -register", registered);
  ASSERT_EQ(registered.exit_code, 0u);
  EXPECT_NE(registered.output.find("  *** REGISTRO COMPLETADO EXITOSAMENTE ***\n"),
            std::string::npos);

  // The embedded browser would meet the redirect URI with this code in it.
  const std::string code = control_.NewAuthorizationCode("ciudadano");
  ASSERT_FALSE(code.empty());
  std::cout << "----- authorization code minted at the service double for the citizen account "
               "(stands in for the browser's redirect to "
            << kOAuthRedirectUri << "): " << code << "\n";

  std::optional<murako::OAuthToken> token;
  {
    DebugOutputCapture capture;
    OAuthManager manager("", kOAuthClientId, SelectClientSecretForStoredEnvironment());
    token = manager.ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen);
    ShowLog("OAuthManager::ExchangeCodeForToken", capture);
  }
  ASSERT_TRUE(token.has_value());
  std::cout << "token: " << MaskToken(token->access_token) << ", " << token->token_type
            << ", expires in " << token->expires_in << " s\n";

  AccountLinkingResult linked;
  {
    DebugOutputCapture capture;
    linked = AccountLinking(kOAuthCitizen).OnLinkingTokenReceived(token);
    ShowLog("account linking", capture);
  }
  std::cout << "result: success " << linked.success << ", installed " << linked.installed
            << ", message \"" << linked.message << "\"\n";
  ASSERT_TRUE(linked.success);
  EXPECT_EQ(linked.message, "4 de 4 certificados instalados");
  ASSERT_TRUE(linked.userInfo);
  std::cout << "userInfo: " << linked.userInfo->nombre << ", " << linked.userInfo->dni << ", "
            << linked.userInfo->tipo << "\n";
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), token->access_token);

  std::string thumbprint;
  std::cout << "----- the personal store\n";
  for (const InstalledCertificate& certificate : CertStoreManager::ListInstalledCertificates()) {
    std::cout << certificate.thumbprint << "  " << certificate.subjectCn << "  identity "
              << certificate.signIdentityId << "\n";
    EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + certificate.thumbprint),
              certificate.signIdentityId);
    EXPECT_EQ(SecureStorage::GetToken("user_type_by_thumbprint_" + certificate.thumbprint),
              "ciudadano");
    if (certificate.signIdentityId == kSigningIdentity) thumbprint = certificate.thumbprint;
  }
  ASSERT_FALSE(thumbprint.empty()) << kSigningIdentity << " was not installed";
  EXPECT_EQ(thumbprint,
            control_.Accounts()["identities"][kSigningIdentity]["thumbprint"].get<std::string>());

  IsolatedRun signedRun = client_.Run({thumbprint});
  Show("cng_sign_client " + thumbprint + " (" + kSigningIdentity + ")", signedRun);
  EXPECT_EQ(signedRun.exit_code, 0u);
  EXPECT_NE(signedRun.output.find("PKCS1: signed "), std::string::npos);
  EXPECT_NE(signedRun.output.find("PSS: signed "), std::string::npos);

  // The bridge signed with the token the sign-in obtained.
  int signatures = 0;
  for (const auto& request : control_.Requests(token->access_token)) {
    if (request["path"] == kRawSignaturePath) ++signatures;
  }
  std::cout << "----- the service double saw " << signatures
            << " remote signature requests with the signed-in token\n";
  EXPECT_EQ(signatures, 2);

  IsolatedRun unregistered = tool_.Run({"-unregister"});
  Show("MurakoKspConfig -unregister", unregistered);
  EXPECT_EQ(unregistered.exit_code, 0u);
  EXPECT_NE(unregistered.output.find("  *** KSP DESREGISTRADO EXITOSAMENTE ***\n"),
            std::string::npos);
}

}  // namespace
