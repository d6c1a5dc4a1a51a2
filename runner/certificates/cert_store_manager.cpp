#include "cert_store_manager.h"

#include <optional>

#include "cert_parser.h"
#include "cert_text.h"
#include "guarded_entry.h"
#include "logged_reason.h"
#include "logger.h"
#include "personal_store.h"
#include "provider_name.h"
#include "simple_display_name.h"
#include "string_conversion.h"
#include "text_encoding.h"
#include "thumbprint_mappings.h"
#include "unique_handle.h"

namespace {

constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kCngKeySpec = 0xFFFFFFFF;
constexpr DWORD kSha1Length = 20;
const char kFriendlyNamePrefix[] = "Murako - ";

std::string CodeText(DWORD code) { return std::to_string(code); }

bool SetWideStringProperty(PCCERT_CONTEXT context, DWORD property, const std::wstring& value) {
  CRYPT_DATA_BLOB blob{static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)),
                       reinterpret_cast<BYTE*>(const_cast<wchar_t*>(value.c_str()))};
  return CertSetCertificateContextProperty(context, property, 0, &blob) != FALSE;
}

std::optional<std::vector<uint8_t>> ReadProperty(PCCERT_CONTEXT context, DWORD property) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(context, property, nullptr, &size)) return std::nullopt;
  std::vector<uint8_t> value(size);
  if (!CertGetCertificateContextProperty(context, property, value.data(), &size)) {
    return std::nullopt;
  }
  value.resize(size);
  return value;
}

std::optional<std::string> ReadWideStringProperty(PCCERT_CONTEXT context, DWORD property) {
  std::optional<std::vector<uint8_t>> value = ReadProperty(context, property);
  if (!value) return std::nullopt;
  std::wstring text(reinterpret_cast<const wchar_t*>(value->data()),
                    value->size() / sizeof(wchar_t));
  size_t end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return WideToUtf8(text);
}

bool IsSystemCertificate(PCCERT_CONTEXT context) {
  std::optional<std::string> friendly = ReadWideStringProperty(context, CERT_FRIENDLY_NAME_PROP_ID);
  return friendly && friendly->compare(0, sizeof(kFriendlyNamePrefix) - 1, kFriendlyNamePrefix) == 0;
}

// Windows derives the KeySpec property from the key-provider information; Wine keeps neither
// the property nor the derivation, so the key-provider information answers for both.
bool HasPrivateKey(PCCERT_CONTEXT context) {
  return ReadProperty(context, CERT_KEY_SPEC_PROP_ID).has_value() ||
         ReadProperty(context, CERT_KEY_PROV_INFO_PROP_ID).has_value();
}

InstalledCertificate DescribeInstalled(PCCERT_CONTEXT context) {
  InstalledCertificate installed;
  std::optional<std::vector<uint8_t>> hash = ReadProperty(context, CERT_HASH_PROP_ID);
  if (hash) installed.thumbprint = ToUpperHex(*hash);
  installed.subjectCn = SimpleDisplayName(context, 0);
  installed.issuerCn = SimpleDisplayName(context, CERT_NAME_ISSUER_FLAG);
  DescriptionFields fields =
      ParseDescription(ReadWideStringProperty(context, CERT_DESCRIPTION_PROP_ID).value_or(""));
  installed.signIdentityId = fields.signIdentityId;
  installed.oauthToken = fields.oauthToken;
  installed.hasPrivateKey = HasPrivateKey(context);
  return installed;
}

void DeleteExistingCopy(HCERTSTORE store, std::vector<uint8_t>& hashBytes) {
  PCCERT_CONTEXT existing = FindByThumbprint(store, hashBytes);
  if (existing == nullptr) {
    LogInfo("No existing certificate found (this is the first installation or was manually "
            "deleted)");
    return;
  }
  LogInfo("Certificate already exists - deleting to clear all properties");
  // The delete call frees the context whatever its outcome.
  if (!CertDeleteCertificateFromStore(existing)) {
    LogWarning("Failed to delete existing certificate: " + CodeText(GetLastError()));
  } else {
    LogInfo("Existing certificate deleted successfully");
  }
}

ValueOrReason<std::string> AddCertificateUnguarded(const CertificateInfo& certificate,
                                                   const std::string& signIdentityId,
                                                   const std::string& oauthToken,
                                                   UserType userType) {
  LogInfo("CertStoreManager::AddCertificate - Adding certificate for: " + certificate.subjectCn);
  LogInfo("  Sign Identity ID: " + signIdentityId);
  LogInfo("  User Type: " + UserTypeWord(userType));
  const ValueOrReason<std::string> calculated =
      CertStoreManager::CalculateThumbprint(certificate.derData);
  if (!calculated) return LoggedReason("Failed to calculate thumbprint");
  const std::string& thumbprint = *calculated;
  // Wine writes a store's changes only when told to: every exit commits.
  UniqueCommittingCertStore store(OpenCurrentUserPersonalStore());
  if (!store) return LoggedReason("Failed to open certificate store: " + CodeText(GetLastError()));
  LogInfo("Checking for existing certificate with thumbprint: " + thumbprint);
  std::vector<uint8_t> hashBytes = ParseHexBytes(thumbprint).value_or(std::vector<uint8_t>());
  LogInfo("Thumbprint converted to " + std::to_string(hashBytes.size()) + " bytes");
  DeleteExistingCopy(store.get(), hashBytes);

  PCCERT_CONTEXT added = nullptr;
  if (!CertAddEncodedCertificateToStore(store.get(), kCertificateEncoding,
                                        certificate.derData.data(),
                                        static_cast<DWORD>(certificate.derData.size()),
                                        CERT_STORE_ADD_NEW, &added)) {
    return LoggedReason("Failed to add certificate to store: " + CodeText(GetLastError()));
  }
  UniqueCertContext context(added);
  LogInfo("Certificate added to store successfully");

  if (!SetWideStringProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID,
                             Utf8ToWide(kFriendlyNamePrefix + certificate.subjectCn))) {
    LogWarning("Failed to set friendly name: " + CodeText(GetLastError()));
  }
  if (!CertStoreManager::SetKspProperty(context.get(), kMurakoProviderNameUtf8, thumbprint)) {
    return LoggedReason("Failed to associate certificate with KSP");
  }
  if (!SetWideStringProperty(
          context.get(), CERT_DESCRIPTION_PROP_ID,
          Utf8ToWide("MurakoSignIdentityId:" + signIdentityId + ";OAuthToken:" + oauthToken))) {
    LogWarning("Failed to set description property: " + CodeText(GetLastError()));
  }
  context.reset();
  store.reset();  // written before the mappings that point signing programs at it
  StoreThumbprintMappings(thumbprint, signIdentityId, userType, UserTypeMappingLine::kKeyToWord);
  LogInfo("Certificate added successfully with thumbprint: " + thumbprint);
  return thumbprint;
}

bool RemoveCertificateUnguarded(const std::string& thumbprint) {
  LogInfo("CertStoreManager::RemoveCertificate - Thumbprint: " + thumbprint);
  // Wine writes a store's changes only when told to: every exit commits.
  UniqueCommittingCertStore store(OpenCurrentUserPersonalStore());
  if (!store) {
    LogError("Failed to open certificate store: " + CodeText(GetLastError()));
    return false;
  }
  std::optional<std::vector<uint8_t>> hashBytes = ParseHexBytes(thumbprint);
  if (!hashBytes) {
    LogError("Invalid thumbprint (not hexadecimal digit pairs): " + thumbprint);
    return false;
  }
  PCCERT_CONTEXT found = FindByThumbprint(store.get(), *hashBytes);
  if (found == nullptr) {
    LogWarning("Certificate not found in store");
    return false;
  }
  if (!CertDeleteCertificateFromStore(found)) {
    LogError("Failed to delete certificate: " + CodeText(GetLastError()));
    return false;
  }
  LogInfo("Certificate removed successfully");
  return true;
}

}  // namespace

bool KeySpecWriteFailureIsFatal(DWORD lastError) { return lastError != ERROR_SUCCESS; }

ValueOrReason<std::string> CertStoreManager::CalculateThumbprint(const std::vector<uint8_t>& der) {
  LogInfo("CertStoreManager::CalculateThumbprint - Calculating for " + std::to_string(der.size()) +
          " bytes");
  UniqueCryptProvider provider;
  if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT)) {
    return LoggedReason("CryptAcquireContext failed: " + CodeText(GetLastError()));
  }
  UniqueCryptHash hash;
  if (!CryptCreateHash(provider.get(), CALG_SHA1, 0, 0, hash.put())) {
    return LoggedReason("CryptCreateHash failed: " + CodeText(GetLastError()));
  }
  if (!CryptHashData(hash.get(), der.data(), static_cast<DWORD>(der.size()), 0)) {
    return LoggedReason("CryptHashData failed: " + CodeText(GetLastError()));
  }
  std::vector<uint8_t> value(kSha1Length);
  DWORD length = kSha1Length;
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value.data(), &length, 0)) {
    return LoggedReason("CryptGetHashParam failed: " + CodeText(GetLastError()));
  }
  value.resize(length);
  std::string thumbprint = ToUpperHex(value);
  LogInfo("Thumbprint calculated: " + thumbprint);
  return thumbprint;
}

ValueOrReason<std::string> CertStoreManager::AddCertificate(const CertificateInfo& certificate,
                                                            const std::string& signIdentityId,
                                                            const std::string& oauthToken,
                                                            UserType userType) {
  return GuardEntry(
      [&] { return AddCertificateUnguarded(certificate, signIdentityId, oauthToken, userType); },
      [](const CaughtFailure& caught) {
        return LoggedReason("CertStoreManager::AddCertificate - Exception: " + caught.Text());
      });
}

bool CertStoreManager::SetKspProperty(PCCERT_CONTEXT context, const std::string& providerName,
                                      const std::string& keyName) {
  LogInfo("CertStoreManager::SetKspProperty - KSP: " + providerName + ", Key: " + keyName);
  std::wstring provider = Utf8ToWide(providerName);
  std::wstring container = Utf8ToWide(keyName);

  DWORD keySpec = kCngKeySpec;
  // Cleared first so that a failure without a reason can be told apart from a real one.
  SetLastError(ERROR_SUCCESS);
  if (!CertSetCertificateContextProperty(context, CERT_KEY_SPEC_PROP_ID, 0, &keySpec)) {
    DWORD error = GetLastError();
    if (KeySpecWriteFailureIsFatal(error)) {
      LogError("Failed to set CERT_KEY_SPEC_PROP_ID: " + CodeText(error));
      return false;
    }
    LogWarning("CERT_KEY_SPEC_PROP_ID not kept by this platform; the key provider information "
               "carries the KeySpec value");
  }

  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = &container[0];
  info.pwszProvName = &provider[0];
  info.dwProvType = 0;
  info.dwFlags = 0;
  info.cProvParam = 0;
  info.rgProvParam = nullptr;
  info.dwKeySpec = kCngKeySpec;
  if (!CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) {
    LogError("Failed to set CERT_KEY_PROV_INFO_PROP_ID: " + CodeText(GetLastError()));
    return false;
  }
  LogInfo("KSP property set successfully");
  return true;
}

std::vector<InstalledCertificate> CertStoreManager::ListInstalledCertificates() {
  std::vector<InstalledCertificate> installed;
  // A failure part-way keeps the certificates listed so far.
  GuardEntry(
      [&] {
        LogInfo("CertStoreManager::ListInstalledCertificates");
        UniqueCertStore store(OpenCurrentUserPersonalStore());
        if (!store) {
          LogError("Failed to open certificate store: " + CodeText(GetLastError()));
          return;
        }
        // Each call frees the context it is given and returns the next one, held until then.
        UniqueCertContext current;
        while (PCCERT_CONTEXT next = CertEnumCertificatesInStore(store.get(), current.release())) {
          current.reset(next);
          if (IsSystemCertificate(next)) installed.push_back(DescribeInstalled(next));
        }
        LogInfo("Found " + std::to_string(installed.size()) + " installed certificates");
      },
      [](const CaughtFailure& caught) {
        LogError("CertStoreManager::ListInstalledCertificates - Exception: " + caught.Text());
      });
  return installed;
}

bool CertStoreManager::RemoveCertificate(const std::string& thumbprint) {
  return GuardEntry("CertStoreManager::RemoveCertificate - Exception: ", false,
                    [&] { return RemoveCertificateUnguarded(thumbprint); });
}

bool CertStoreManager::RemoveAllCertificates() {
  LogInfo("CertStoreManager::RemoveAllCertificates");
  std::vector<InstalledCertificate> installed = ListInstalledCertificates();
  size_t removed = 0;
  for (const InstalledCertificate& certificate : installed) {
    if (RemoveCertificate(certificate.thumbprint)) ++removed;
  }
  LogInfo("Removed " + std::to_string(removed) + " certificates");
  return removed == installed.size();
}
