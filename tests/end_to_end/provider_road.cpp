#include "provider_road.h"

#include "unique_handle.h"

namespace {

using GetInterfaceFn = NTSTATUS(WINAPI*)(LPCWSTR, NCRYPT_KEY_STORAGE_FUNCTION_TABLE**, DWORD);
constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

UniqueCommittingCertStore OpenPersonalStore() {
  return UniqueCommittingCertStore(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
}

void DeleteCopies(HCERTSTORE store, const std::vector<BYTE>& der) {
  UniqueCertContext wanted(
      CertCreateCertificateContext(kEncodings, der.data(), static_cast<DWORD>(der.size())));
  if (!wanted) return;
  for (;;) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, kEncodings, 0, CERT_FIND_EXISTING,
                                                      wanted.get(), nullptr);
    if (found == nullptr) break;
    CertDeleteCertificateFromStore(found);  // frees the context
  }
}

const wchar_t* HashAlgorithmName(size_t raw_hash_length) {
  return raw_hash_length == 32 ? BCRYPT_SHA256_ALGORITHM
         : raw_hash_length == 48 ? BCRYPT_SHA384_ALGORITHM
                                 : BCRYPT_SHA512_ALGORITHM;
}

}  // namespace

// Wine keeps a store's changes and the new certificate's properties only when the certificate
// is added anew in this session and the store is committed explicitly.
bool InstallProviderCertificate(const std::vector<BYTE>& der, const std::wstring& thumbprint) {
  UniqueCommittingCertStore store = OpenPersonalStore();
  if (!store) return false;
  DeleteCopies(store.get(), der);
  PCCERT_CONTEXT added = nullptr;
  if (!CertAddEncodedCertificateToStore(store.get(), kEncodings, der.data(),
                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW,
                                        &added)) {
    return false;
  }
  UniqueCertContext certificate(added);
  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = const_cast<wchar_t*>(thumbprint.c_str());
  info.pwszProvName = const_cast<wchar_t*>(L"Murako KSP");
  info.dwKeySpec = 0xFFFFFFFF;
  return CertSetCertificateContextProperty(certificate.get(), CERT_KEY_PROV_INFO_PROP_ID, 0,
                                           &info) != FALSE;
}

bool RemoveProviderCertificate(const std::vector<BYTE>& der) {
  UniqueCommittingCertStore store = OpenPersonalStore();
  if (!store) return false;
  DeleteCopies(store.get(), der);
  return true;
}

ProviderRoad::ProviderRoad() : module_(LoadLibraryW(L"murako_ksp.dll")) {
  if (!module_) return;
  auto entry =
      reinterpret_cast<GetInterfaceFn>(GetProcAddress(module_.get(), "GetKeyStorageInterface"));
  if (entry == nullptr || entry(L"Murako KSP", &table_, 0) != 0 || table_ == nullptr) {
    table_ = nullptr;
    return;
  }
  if (table_->OpenProvider(&provider_, L"Murako KSP", 0) != ERROR_SUCCESS) provider_ = 0;
}

ProviderRoad::~ProviderRoad() {
  if (provider_ != 0) table_->FreeProvider(provider_);
}

SECURITY_STATUS ProviderRoad::Sign(const std::wstring& thumbprint, const std::vector<BYTE>& hash,
                                   size_t raw_hash_length, bool pss,
                                   std::vector<BYTE>& signature) const {
  NCRYPT_KEY_HANDLE key = 0;
  SECURITY_STATUS status = table_->OpenKey(provider_, &key, thumbprint.c_str(), 0, 0);
  if (status != ERROR_SUCCESS) return status;
  BCRYPT_PKCS1_PADDING_INFO pkcs1{HashAlgorithmName(raw_hash_length)};
  BCRYPT_PSS_PADDING_INFO pss_info{HashAlgorithmName(raw_hash_length),
                                   static_cast<ULONG>(raw_hash_length)};
  void* padding = pss ? static_cast<void*>(&pss_info) : static_cast<void*>(&pkcs1);
  const DWORD flags = pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1;
  DWORD size = 0;
  status = table_->SignHash(provider_, key, padding, const_cast<BYTE*>(hash.data()),
                            static_cast<DWORD>(hash.size()), nullptr, 0, &size, flags);
  if (status == ERROR_SUCCESS) {
    signature.assign(size, 0);
    status = table_->SignHash(provider_, key, padding, const_cast<BYTE*>(hash.data()),
                              static_cast<DWORD>(hash.size()), signature.data(), size, &size,
                              flags);
  }
  table_->FreeKey(provider_, key);
  return status;
}
