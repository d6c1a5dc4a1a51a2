#include "cert_store.h"

#include <cwchar>
#include <vector>

#include "ksp_handles.h"

namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kFriendlyNameBytes = 512;
constexpr DWORD kCommonNameCharacters = 256;

struct HeapBlockTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle block) { KspHeapFree(block); }
};

}  // namespace

HCERTSTORE OpenPersonalStore() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
}

PCCERT_CONTEXT FindByThumbprint(HCERTSTORE store, const Thumbprint& thumbprint) {
  CRYPT_HASH_BLOB blob;
  blob.cbData = static_cast<DWORD>(thumbprint.size());
  blob.pbData = const_cast<BYTE*>(thumbprint.data());
  return CertFindCertificateInStore(store, kEncodings, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
}

bool HasMurakoFriendlyName(PCCERT_CONTEXT certificate) {
  wchar_t name[kFriendlyNameBytes / sizeof(wchar_t) + 1] = {};
  DWORD bytes = kFriendlyNameBytes;
  if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, name, &bytes)) {
    return false;
  }
  name[bytes / sizeof(wchar_t) < kFriendlyNameBytes / sizeof(wchar_t)
           ? bytes / sizeof(wchar_t)
           : kFriendlyNameBytes / sizeof(wchar_t)] = L'\0';
  return wcsstr(name, L"Murako") != nullptr;
}

std::wstring SubjectCommonName(PCCERT_CONTEXT certificate) {
  wchar_t name[kCommonNameCharacters] = {};
  CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0,
                     const_cast<char*>(szOID_COMMON_NAME), name, kCommonNameCharacters);
  name[kCommonNameCharacters - 1] = L'\0';
  return name;
}

std::wstring KeyContainerName(PCCERT_CONTEXT certificate) {
  DWORD bytes = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                         &bytes) ||
      bytes < sizeof(CRYPT_KEY_PROV_INFO)) {
    return std::wstring();
  }
  UniqueHandle<HeapBlockTraits> buffer(KspHeapAlloc(bytes));
  if (buffer.get() == nullptr ||
      !CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.get(),
                                         &bytes)) {
    return std::wstring();
  }
  const CRYPT_KEY_PROV_INFO* info = static_cast<const CRYPT_KEY_PROV_INFO*>(buffer.get());
  return info->pwszContainerName != nullptr ? std::wstring(info->pwszContainerName)
                                            : std::wstring();
}

bool ReadThumbprint(PCCERT_CONTEXT certificate, Thumbprint* thumbprint) {
  DWORD bytes = static_cast<DWORD>(thumbprint->size());
  return CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumbprint->data(),
                                           &bytes) &&
         bytes == thumbprint->size();
}

PCCERT_CONTEXT FindByName(HCERTSTORE store, const wchar_t* key_name, NameMatch* match) {
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(store, certificate)) != nullptr) {
    std::wstring container = KeyContainerName(certificate);
    if (!container.empty() &&
        CompareStringOrdinal(container.c_str(), -1, key_name, -1, TRUE) == CSTR_EQUAL) {
      if (match != nullptr) *match = NameMatch{true, container};
      return certificate;
    }
    if (!HasMurakoFriendlyName(certificate)) continue;
    std::wstring common_name = SubjectCommonName(certificate);
    if (common_name == key_name) {
      if (match != nullptr) *match = NameMatch{false, common_name};
      return certificate;
    }
  }
  return nullptr;
}
