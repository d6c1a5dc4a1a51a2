// Run by installer_test.sh in the prefix where the package was just installed: the provider and
// the bridge are the installed files in the system folder, registered by the installer. A
// certificate of the service double's citizen account is installed bound to the provider, and
// a separate signing program signs through CNG (the router stand-in) and verifies. The prefix
// is thrown away afterwards; the certificate and the token stay for the uninstall checks.
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

// The double's standing citizen account and one of its identities.
const char kCitizenToken[] = "ciudadano-token-4f9c2a7e81b34d06a5c9e2f1";
const char kIdentity[] = "cit-rsa2048";

TEST(InstalledProviderTest, SignsThroughTheInstalledProviderAndBridge) {
  ASSERT_TRUE(FileExists(SystemFolder() + "murako_ksp.dll")) << "the package is not installed";
  ASSERT_TRUE(SecureStorage::StoreToken("oauth_access_token_ciudadano", kCitizenToken));
  ASSERT_TRUE(SecureStorage::StoreToken("oauth_token_environment_ciudadano", "desa"));
  MurakoApiClient api(CitizenApiBaseUrl(DeploymentServiceHosts(), false), kCitizenToken);
  std::optional<IdentityDetails> details = api.GetIdentityDetails(kIdentity);
  ASSERT_TRUE(details.has_value()) << "the signing service double does not answer";
  ValueOrReason<CertificateInfo> certificate =
      CertParser::ParseCertificateFromBase64(details->certificate);
  ASSERT_TRUE(certificate.has_value()) << certificate.reason();
  ValueOrReason<std::string> installed =
      CertStoreManager::AddCertificate(*certificate, kIdentity, kCitizenToken, UserType::kCitizen);
  ASSERT_TRUE(installed.has_value()) << installed.reason();
  const std::string thumbprint = *installed;

  // The signing program needs bcrypt's real cryptography: it gets the router only.
  IsolatedProgram client("cng_sign_client.exe", {"ncrypt.dll"});
  IsolatedRun signedRun = client.Run({thumbprint});
  std::cout << signedRun.output << std::flush;
  EXPECT_EQ(signedRun.exit_code, 0u);
  EXPECT_NE(signedRun.output.find("PKCS1: signed "), std::string::npos);
  EXPECT_NE(signedRun.output.find("PSS: signed "), std::string::npos);
}

}  // namespace
