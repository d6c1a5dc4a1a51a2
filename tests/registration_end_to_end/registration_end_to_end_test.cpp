// The whole chain through the CNG router stand-in: the configuration tool registers the real
// provider, a certificate of the service double's citizen account is installed bound to it,
// and a separate signing program signs through CNG, the provider, the signing bridge and the
// remote service, then verifies the signatures with the certificate's public key.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>

#include "cert_parser.h"
#include "cert_store_manager.h"
#include "isolated_process.h"
#include "murako_api_client.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "test_environment.h"

namespace {

// The double's standing citizen account.
const char kCitizenToken[] = "ciudadano-token-4f9c2a7e81b34d06a5c9e2f1";
const char kCitizenTokenKey[] = "oauth_access_token_ciudadano";
const wchar_t kProviderKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers\\Murako KSP";
const wchar_t kKeyStorageContext[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local\\Default\\00010001";

void Show(const std::string& title, const IsolatedRun& run) {
  std::cout << "----- " << title << " (exit " << run.exit_code << ")\n" << run.output << std::flush;
}

// Keeps a credential-storage value aside for the test and puts it back afterwards.
class SavedToken {
 public:
  explicit SavedToken(std::string key) : key_(std::move(key)), value_(SecureStorage::GetToken(key_)) {}
  ~SavedToken() {
    if (value_) {
      SecureStorage::StoreToken(key_, *value_);
    } else {
      SecureStorage::DeleteToken(key_);
    }
  }

 private:
  std::string key_;
  std::optional<std::string> value_;
};

class RegistrationEndToEndTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (!thumbprint_.empty()) {
      CertStoreManager::RemoveCertificate(thumbprint_);
      SecureStorage::DeleteToken("sign_identity_by_thumbprint_" + thumbprint_);
      SecureStorage::DeleteToken("user_type_by_thumbprint_" + thumbprint_);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProviderKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKeyStorageContext);
  }

  IsolatedProgram tool_{"MurakoKspConfig.exe", {"ncrypt.dll", "bcrypt.dll"}};
  // The signing program needs bcrypt's real cryptography: it gets the router only.
  IsolatedProgram client_{"cng_sign_client.exe", {"ncrypt.dll"}};
  SystemFilePlacement provider_{ProgramDirectory() + "murako_ksp.dll", "murako_ksp.dll"};
  SystemFilePlacement bridge_{ProgramDirectory() + "murako_sign_bridge.dll",
                              "murako_sign_bridge.dll"};
  SavedToken citizen_token_{kCitizenTokenKey};
  SavedToken environment_{kEnvironmentKey};
  std::string thumbprint_;
};

TEST_F(RegistrationEndToEndTest, RegisterInstallSignVerifyUnregister) {
  ASSERT_TRUE(provider_.placed()) << "murako_ksp.dll is not in the build";
  ASSERT_TRUE(bridge_.placed()) << "murako_sign_bridge.dll is not in the build";

  IsolatedRun registered = tool_.Run({"-register"});
  Show("MurakoKspConfig -register", registered);
  ASSERT_EQ(registered.exit_code, 0u);
  EXPECT_NE(registered.output.find("  [OK] BCryptRegisterProvider exitoso\n"), std::string::npos);
  EXPECT_NE(registered.output.find("  [OK] KSP registrado y funcional\n"
                                   "  *** REGISTRO COMPLETADO EXITOSAMENTE ***\n"),
            std::string::npos);

  IsolatedRun again = tool_.Run({"-register"});
  Show("MurakoKspConfig -register (again)", again);
  EXPECT_EQ(again.exit_code, 0u);
  for (const char* warning : {"  [WARN] El proveedor ya estaba registrado (continuando...)\n",
                              "  [WARN] La funcion de contexto ya existia (continuando...)\n",
                              "  [WARN] El proveedor ya estaba asociado (continuando...)\n"}) {
    EXPECT_NE(again.output.find(warning), std::string::npos) << warning;
  }

  IsolatedRun listed = tool_.Run({"-enum"});
  Show("MurakoKspConfig -enum", listed);
  EXPECT_EQ(listed.exit_code, 0u);
  EXPECT_NE(listed.output.find("] Murako KSP  <-- MURAKO\n"), std::string::npos);

  IsolatedRun checked = tool_.Run({"-check"});
  Show("MurakoKspConfig -check", checked);
  EXPECT_EQ(checked.exit_code, 0u);
  std::string size = std::to_string(ReadFileBytes(SystemFolder() + "murako_ksp.dll").size() / 1024);
  EXPECT_NE(checked.output.find("       Tamano: " + size + " KB\n"), std::string::npos);
  EXPECT_NE(checked.output.find("       Nombre: Murako KSP\n"), std::string::npos);

  // The citizen's certificate, as account linking fetches and installs it.
  SecureStorage::DeleteToken(kEnvironmentKey);
  ASSERT_TRUE(SecureStorage::StoreToken(kCitizenTokenKey, kCitizenToken));
  MurakoApiClient api(CitizenApiBaseUrl(DeploymentServiceHosts(), false), kCitizenToken);
  std::optional<UserInfo> user = api.GetUserInfo();
  ASSERT_TRUE(user.has_value()) << "the signing service double does not answer";
  std::string identity;
  for (const SignIdentity& candidate : user->sign_identities) {
    if (candidate.status == "enabled" && identity.empty()) identity = candidate.id;
  }
  ASSERT_FALSE(identity.empty());
  std::optional<IdentityDetails> details = api.GetIdentityDetails(identity);
  ASSERT_TRUE(details.has_value());
  std::optional<CertificateInfo> certificate =
      CertParser::ParseCertificateFromBase64(details->certificate);
  ASSERT_TRUE(certificate.has_value());
  EXPECT_EQ(certificate->dni, user->dni);
  ASSERT_TRUE(CertStoreManager::AddCertificate(*certificate, identity, kCitizenToken, "ciudadano",
                                               thumbprint_));
  std::cout << "----- installed " << certificate->subjectCn << " (" << identity << "), thumbprint "
            << thumbprint_ << "\n";

  IsolatedRun signedRun = client_.Run({thumbprint_});
  Show("cng_sign_client (registered)", signedRun);
  EXPECT_EQ(signedRun.exit_code, 0u);
  EXPECT_NE(signedRun.output.find("PKCS1: signed "), std::string::npos);
  EXPECT_NE(signedRun.output.find("PSS: signed "), std::string::npos);

  IsolatedRun unregistered = tool_.Run({"-unregister"});
  Show("MurakoKspConfig -unregister", unregistered);
  EXPECT_EQ(unregistered.exit_code, 0u);
  EXPECT_NE(unregistered.output.find("  *** KSP DESREGISTRADO EXITOSAMENTE ***\n"),
            std::string::npos);

  IsolatedRun refused = client_.Run({thumbprint_});
  Show("cng_sign_client (unregistered)", refused);
  EXPECT_EQ(refused.exit_code, 3u);
  EXPECT_NE(refused.output.find("NCryptOpenStorageProvider failed: 0x80090013"), std::string::npos);
}

}  // namespace
