// The road from sign-in to a verified signature, through the CNG router stand-in: the
// configuration tool registers the real provider; for the citizen and then the professional,
// account linking opens the sign-in window, where a scripted user signs in at the signing
// service double's authorization server through the embedded-browser stand-in; the redirect's
// code is exchanged for tokens, which linking stores before it fetches the profile and
// identities and installs the certificates bound to the provider with their mappings; a
// separate program signs through CNG, the provider, the signing bridge and the service, and
// verifies; the provider is unregistered and then refused; the certificates and credential entries of the run
// are removed.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "log_redaction.h"
#include "browser_user.h"
#include "cert_store_manager.h"
#include "debug_output_capture.h"
#include "isolated_process.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "saved_credentials.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "sign_in_service.h"
#include "sign_in_test_host.h"
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
  // The credential entries a linking writes, kept aside for the run and put back afterwards.
  SavedCredentials credentials_{LinkingCredentialKeys()};
  BrowserUser user_;
};

struct RoadAccount {
  const char* account;
  UserType user_type;
  const char* signing_identity;
  const char* installed_message;
};

// Linking through the sign-in window: the scripted user signs in on the login page.
AccountLinkingResult LinkThroughTheBrowser(const RoadAccount& road, BrowserUser& user) {
  user.Script(BrowserUser::LogInAs(road.account));
  SignInTestHost host;
  SignInService sign_in(host.handle(),
                        std::make_shared<OAuthManager>("", kOAuthClientId,
                                                       SelectClientSecretForStoredEnvironment()),
                        [] { std::cout << "session-expired notice\n"; });
  host.OnOAuthComplete([&sign_in](WPARAM flow) { sign_in.OnOAuthComplete(flow); });
  auto answer = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  DebugOutputCapture capture;
  sign_in.LinkCertificates(road.user_type, std::nullopt, RecordInto(answer));
  const bool answered = PumpUntil([&] { return answer->answers > 0; }, 120000);
  ShowLog(std::string("sign-in window and account linking (") + road.account + ")", capture);
  EXPECT_TRUE(answered) << "the sign-in never completed";
  return answer->value.value_or(AccountLinkingResult());
}

TEST_F(SignInRoadTest, SignInLinkSignVerify) {
  ASSERT_TRUE(provider_.placed()) << "murako_ksp.dll is not in the build";
  ASSERT_TRUE(bridge_.placed()) << "murako_sign_bridge.dll is not in the build";
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  CertStoreManager::RemoveAllCertificates();

  IsolatedRun registered = tool_.Run({"-register"});
  Show("MurakoKspConfig -register", registered);
  ASSERT_EQ(registered.exit_code, 0u);
  EXPECT_NE(registered.output.find("  *** REGISTRO COMPLETADO EXITOSAMENTE ***\n"),
            std::string::npos);

  const RoadAccount accounts[] = {
      {"ciudadano", UserType::kCitizen, "cit-rsa2048", "4 de 4 certificados instalados"},
      {"profesional", UserType::kProfessional, "pro-rsa2048", "3 de 3 certificados instalados"},
  };
  std::string last_thumbprint;
  for (const RoadAccount& road : accounts) {
    SCOPED_TRACE(road.account);
    const AccountLinkingResult linked = LinkThroughTheBrowser(road, user_);
    std::cout << "result: success " << linked.success << ", installed " << linked.installed
              << ", message \"" << linked.message << "\"\n";
    ASSERT_TRUE(linked.success);
    EXPECT_EQ(linked.message, road.installed_message);
    ASSERT_TRUE(linked.userInfo);
    std::cout << "userInfo: " << linked.userInfo->nombre << ", " << linked.userInfo->dni << ", "
              << linked.userInfo->tipo << "\n";
    const std::string token =
        SecureStorage::GetToken(std::string("oauth_access_token_") + road.account).value_or("");
    ASSERT_FALSE(token.empty());
    std::cout << "token stored by the sign-in: " << MaskToken(token) << "\n";

    // The earlier account's certificates left the store with the new linking.
    std::string thumbprint;
    std::cout << "----- the personal store\n";
    for (const InstalledCertificate& certificate : CertStoreManager::ListInstalledCertificates()) {
      std::cout << certificate.thumbprint << "  " << certificate.subjectCn << "  identity "
                << certificate.signIdentityId << "\n";
      EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + certificate.thumbprint),
                certificate.signIdentityId);
      EXPECT_EQ(SecureStorage::GetToken("user_type_by_thumbprint_" + certificate.thumbprint),
                road.account);
      if (certificate.signIdentityId == road.signing_identity) thumbprint = certificate.thumbprint;
    }
    ASSERT_FALSE(thumbprint.empty()) << road.signing_identity << " was not installed";
    last_thumbprint = thumbprint;
    EXPECT_EQ(thumbprint, control_.Accounts()["identities"][road.signing_identity]["thumbprint"]
                              .get<std::string>());

    IsolatedRun signedRun = client_.Run({thumbprint});
    Show("cng_sign_client " + thumbprint + " (" + road.signing_identity + ")", signedRun);
    EXPECT_EQ(signedRun.exit_code, 0u);
    EXPECT_NE(signedRun.output.find("PKCS1: signed "), std::string::npos);
    EXPECT_NE(signedRun.output.find("PSS: signed "), std::string::npos);

    // The bridge signed with the token the sign-in obtained.
    int signatures = 0;
    for (const auto& request : control_.Requests(token)) {
      if (request["path"] == kRawSignaturePath) ++signatures;
    }
    std::cout << "----- the service double saw " << signatures
              << " remote signature requests with the signed-in token\n";
    EXPECT_EQ(signatures, 2);
  }

  IsolatedRun unregistered = tool_.Run({"-unregister"});
  Show("MurakoKspConfig -unregister", unregistered);
  EXPECT_EQ(unregistered.exit_code, 0u);
  EXPECT_NE(unregistered.output.find("  *** KSP DESREGISTRADO EXITOSAMENTE ***\n"),
            std::string::npos);

  // Unregistered, the provider is no longer found: the same certificate cannot sign.
  IsolatedRun refused = client_.Run({last_thumbprint});
  Show("cng_sign_client (unregistered)", refused);
  EXPECT_EQ(refused.exit_code, 3u);
  EXPECT_NE(refused.output.find("NCryptOpenStorageProvider failed: 0x80090013"), std::string::npos);
  CoUninitialize();
}

}  // namespace
