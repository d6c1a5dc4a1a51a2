#include "cert_store_manager.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <iostream>

#include "cert_parser.h"
#include "fixture_files.h"
#include "secure_storage.h"
#include "string_conversion.h"
#include "test_environment.h"

namespace {

// Reads the personal store directly, bypassing the code under test.
struct StoreEntry {
  int copies = 0;
  std::wstring friendlyName;
  std::wstring description;
  std::wstring container;
  std::wstring provider;
  DWORD providerType = 1;
  DWORD keySpec = 0;
};

std::wstring WideProperty(PCCERT_CONTEXT context, DWORD property) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(context, property, nullptr, &size)) return L"";
  std::wstring value(size / sizeof(wchar_t), L'\0');
  CertGetCertificateContextProperty(context, property, &value[0], &size);
  return value.substr(0, value.find(L'\0'));
}

StoreEntry ReadStore(const std::vector<uint8_t>& der) {
  StoreEntry entry;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                   L"MY");
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
    if (context->cbCertEncoded != der.size() ||
        memcmp(context->pbCertEncoded, der.data(), der.size()) != 0) {
      continue;
    }
    ++entry.copies;
    entry.friendlyName = WideProperty(context, CERT_FRIENDLY_NAME_PROP_ID);
    entry.description = WideProperty(context, CERT_DESCRIPTION_PROP_ID);
    DWORD size = 0;
    if (CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
      std::vector<BYTE> buffer(size);
      CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size);
      auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buffer.data());
      entry.container = info->pwszContainerName ? info->pwszContainerName : L"";
      entry.provider = info->pwszProvName ? info->pwszProvName : L"";
      entry.providerType = info->dwProvType;
      entry.keySpec = info->dwKeySpec;
    }
  }
  CertCloseStore(store, 0);
  return entry;
}

// Adds a certificate the way a user's import would: no friendly name, no provider binding.
void AddPlainCertificate(const std::vector<uint8_t>& der, const wchar_t* friendlyName) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                   L"MY");
  PCCERT_CONTEXT added = nullptr;
  ASSERT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                               static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW,
                                               &added));
  if (friendlyName != nullptr) {
    CRYPT_DATA_BLOB blob{static_cast<DWORD>((wcslen(friendlyName) + 1) * sizeof(wchar_t)),
                         reinterpret_cast<BYTE*>(const_cast<wchar_t*>(friendlyName))};
    CertSetCertificateContextProperty(added, CERT_FRIENDLY_NAME_PROP_ID, 0, &blob);
  }
  CertFreeCertificateContext(added);
  CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  CertCloseStore(store, 0);
}

void DeleteFromStore(const std::vector<uint8_t>& der) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                   L"MY");
  // Deleting inside an enumeration loses the enumeration's place, so search again each time.
  PCCERT_CONTEXT probe =
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  PCCERT_CONTEXT found = nullptr;
  while (probe != nullptr &&
         (found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, probe,
                                             nullptr)) != nullptr) {
    CertDeleteCertificateFromStore(found);
  }
  if (probe != nullptr) CertFreeCertificateContext(probe);
  CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  CertCloseStore(store, 0);
}

class CertStoreManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (HasFailure()) std::cout << ReadFileBytes(temp_.path() + "murako_windows.log");
    for (const char* stem : {"citizen", "professional", "large"}) {
      DeleteFromStore(FixtureDer(stem));
      std::string thumbprint = CertStoreManager::CalculateThumbprint(FixtureDer(stem)).value_or("");
      SecureStorage::DeleteToken("sign_identity_by_thumbprint_" + thumbprint);
      SecureStorage::DeleteToken("user_type_by_thumbprint_" + thumbprint);
    }
  }

  CertificateInfo Parsed(const std::string& stem) {
    return CertParser::ParseCertificateFromDER(FixtureDer(stem)).value();
  }
  bool Logged(const std::string& tag, const std::string& message) const {
    return LogHasLine(temp_.path(), tag, message);
  }
  std::string Log() const { return ReadFileBytes(temp_.path() + "murako_windows.log"); }

  ScopedTempDirectory temp_;
  ScopedTempPathOverride temp_path_{temp_.path()};
};

TEST_F(CertStoreManagerTest, ThumbprintIsUpperCaseSha1OfTheDer) {
  EXPECT_EQ(CertStoreManager::CalculateThumbprint({'a', 'b', 'c'}).value_or(""),
            "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_TRUE(Logged("INFO", "CertStoreManager::CalculateThumbprint - Calculating for 3 bytes"));
  EXPECT_TRUE(Logged("INFO", "Thumbprint calculated: A9993E364706816ABA3E25717850C26C9CD0D89D"));
}

TEST_F(CertStoreManagerTest, InstallsBoundToTheProviderWithDescriptionAndMappings) {
  const ValueOrReason<std::string> added = CertStoreManager::AddCertificate(
      Parsed("citizen"), "ident-1", "token-1", UserType::kCitizen);
  ASSERT_TRUE(added) << added.reason();
  const std::string thumbprint = *added;
  ASSERT_EQ(thumbprint.size(), 40u);
  StoreEntry entry = ReadStore(FixtureDer("citizen"));
  EXPECT_EQ(entry.copies, 1);
  EXPECT_EQ(entry.friendlyName, L"Murako - 12345678Z MU\u00D1OZ GARC\u00CDA LUC\u00CDA");
  EXPECT_EQ(entry.description, L"MurakoSignIdentityId:ident-1;OAuthToken:token-1");
  EXPECT_EQ(entry.container, Utf8ToWide(thumbprint));
  EXPECT_EQ(entry.provider, L"Murako KSP");
  EXPECT_EQ(entry.providerType, 0u);
  EXPECT_EQ(entry.keySpec, 0xFFFFFFFFu);
  EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + thumbprint),
            std::optional<std::string>("ident-1"));
  EXPECT_EQ(SecureStorage::GetToken("user_type_by_thumbprint_" + thumbprint),
            std::optional<std::string>("ciudadano"));
  EXPECT_TRUE(Logged("INFO", "Thumbprint converted to 20 bytes"));
  EXPECT_TRUE(Logged("INFO", "No existing certificate found (this is the first installation or "
                             "was manually deleted)"));
  EXPECT_TRUE(Logged("INFO", "KSP property set successfully"));
  EXPECT_TRUE(Logged("INFO", "  \xE2\x9C\x85 Stored thumbprint mapping: sign_identity_by_thumbprint_" +
                                 thumbprint + " \xE2\x86\x92 ident-1"));
  EXPECT_TRUE(Logged("INFO", "Certificate added successfully with thumbprint: " + thumbprint));
}

TEST_F(CertStoreManagerTest, ReinstallingLeavesOneCopyWithTheSecondIdentity) {
  const ValueOrReason<std::string> first =
      CertStoreManager::AddCertificate(Parsed("citizen"), "ident-1", "token-1", UserType::kCitizen);
  const ValueOrReason<std::string> second =
      CertStoreManager::AddCertificate(Parsed("citizen"), "ident-2", "token-2", UserType::kProfessional);
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_EQ(*first, *second);
  StoreEntry entry = ReadStore(FixtureDer("citizen"));
  EXPECT_EQ(entry.copies, 1);
  EXPECT_EQ(entry.description, L"MurakoSignIdentityId:ident-2;OAuthToken:token-2");
  EXPECT_EQ(entry.container, Utf8ToWide(*second));
  EXPECT_TRUE(Logged("INFO", "Certificate already exists - deleting to clear all properties"));
  EXPECT_TRUE(Logged("INFO", "Existing certificate deleted successfully"));
  EXPECT_EQ(SecureStorage::GetToken("user_type_by_thumbprint_" + *second),
            std::optional<std::string>("profesional"));
}

TEST_F(CertStoreManagerTest, AMappingThatCannotBeStoredIsLoggedAsAFailure) {
  // An empty identity is refused by the credential store; the user type is still recorded.
  const ValueOrReason<std::string> added =
      CertStoreManager::AddCertificate(Parsed("citizen"), "", "token-1", UserType::kCitizen);
  ASSERT_TRUE(added) << added.reason();
  EXPECT_TRUE(Logged("ERROR", "Failed to store mapping for thumbprint: " + *added));
  EXPECT_EQ(Log().find("Stored thumbprint mapping"), std::string::npos);
  EXPECT_TRUE(Logged("INFO", "  \xE2\x9C\x85 Stored user_type mapping: user_type_by_thumbprint_" +
                                 *added + " \xE2\x86\x92 ciudadano"));
}

TEST_F(CertStoreManagerTest, ListsOnlyTheSystemsCertificates) {
  const ValueOrReason<std::string> added = CertStoreManager::AddCertificate(
      Parsed("citizen"), "ident-1", "tok", UserType::kCitizen);
  ASSERT_TRUE(added) << added.reason();
  const std::string citizen = *added;
  AddPlainCertificate(FixtureDer("professional"), nullptr);
  AddPlainCertificate(FixtureDer("large"), L"Otro - importado");

  std::vector<InstalledCertificate> listed = CertStoreManager::ListInstalledCertificates();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].thumbprint, citizen);
  EXPECT_EQ(listed[0].subjectCn, "12345678Z MU\xC3\x91OZ GARC\xC3\x8D" "A LUC\xC3\x8D" "A");
  EXPECT_EQ(listed[0].issuerCn, "Sendaro Test CA");
  EXPECT_EQ(listed[0].signIdentityId, "ident-1");
  EXPECT_EQ(listed[0].oauthToken, "tok");
  EXPECT_TRUE(listed[0].hasPrivateKey);
  EXPECT_TRUE(Logged("INFO", "Found 1 installed certificates"));

  // Removing everything of the system leaves the user's own certificates alone.
  EXPECT_TRUE(CertStoreManager::RemoveAllCertificates());
  EXPECT_TRUE(Logged("INFO", "Removed 1 certificates"));
  EXPECT_EQ(ReadStore(FixtureDer("citizen")).copies, 0);
  EXPECT_EQ(ReadStore(FixtureDer("professional")).copies, 1);
  EXPECT_EQ(ReadStore(FixtureDer("large")).copies, 1);
  EXPECT_TRUE(CertStoreManager::ListInstalledCertificates().empty());
  EXPECT_TRUE(CertStoreManager::RemoveAllCertificates());
  EXPECT_TRUE(Logged("INFO", "Removed 0 certificates"));
}

TEST_F(CertStoreManagerTest, RemovesByThumbprintOfEitherCaseAndReportsAbsentOnes) {
  const ValueOrReason<std::string> added = CertStoreManager::AddCertificate(
      Parsed("professional"), "ident-9", "tok", UserType::kProfessional);
  ASSERT_TRUE(added) << added.reason();
  const std::string thumbprint = *added;
  std::string lower = thumbprint;
  for (char& c : lower) c = static_cast<char>(tolower(c));
  EXPECT_TRUE(CertStoreManager::RemoveCertificate(lower));
  EXPECT_TRUE(Logged("INFO", "Certificate removed successfully"));
  EXPECT_EQ(ReadStore(FixtureDer("professional")).copies, 0);
  EXPECT_EQ(SecureStorage::GetToken("sign_identity_by_thumbprint_" + thumbprint),
            std::optional<std::string>("ident-9"))
      << "the mappings stay until the session ends";

  EXPECT_FALSE(CertStoreManager::RemoveCertificate(thumbprint));
  EXPECT_TRUE(Logged("WARNING", "Certificate not found in store"));
}

TEST_F(CertStoreManagerTest, NonHexThumbprintIsRefusedWithoutAnException) {
  EXPECT_FALSE(CertStoreManager::RemoveCertificate("ZZ3E364706816ABA3E25717850C26C9CD0D89D00"));
  EXPECT_TRUE(Logged("ERROR", "Invalid thumbprint (not hexadecimal digit pairs): "
                              "ZZ3E364706816ABA3E25717850C26C9CD0D89D00"));
  EXPECT_FALSE(CertStoreManager::RemoveCertificate(""));
  EXPECT_FALSE(CertStoreManager::RemoveCertificate("ABC"));
}

TEST_F(CertStoreManagerTest, UnparsableCertificateIsNotAdded) {
  CertificateInfo broken;
  broken.subjectCn = "roto";
  broken.derData = {0x30, 0x03, 0x02, 0x01, 0x01};
  const ValueOrReason<std::string> added =
      CertStoreManager::AddCertificate(broken, "ident", "tok", UserType::kCitizen);
  EXPECT_FALSE(added);
  EXPECT_EQ(added.reason().rfind("Failed to add certificate to store: ", 0), 0u);
  const std::string thumbprint = CertStoreManager::CalculateThumbprint(broken.derData).value_or("");
  EXPECT_EQ(thumbprint.size(), 40u);
  std::string log = ReadFileBytes(temp_.path() + "murako_windows.log");
  EXPECT_NE(log.find("[ERROR] Failed to add certificate to store: "), std::string::npos);
  EXPECT_FALSE(SecureStorage::GetToken("sign_identity_by_thumbprint_" + thumbprint).has_value());
}

TEST(KeySpecWriteTest, OnlyAFailureWithoutReasonIsTolerated) {
  EXPECT_FALSE(KeySpecWriteFailureIsFatal(ERROR_SUCCESS));
  EXPECT_TRUE(KeySpecWriteFailureIsFatal(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(KeySpecWriteFailureIsFatal(static_cast<DWORD>(CRYPT_E_NOT_FOUND)));
}

}  // namespace
