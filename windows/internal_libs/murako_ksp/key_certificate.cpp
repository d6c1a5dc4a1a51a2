#include "key_certificate.h"

#include "cert_store.h"
#include "ksp_handles.h"

namespace {

PCCERT_CONTEXT FindByName(HCERTSTORE store, const wchar_t* key_name, KeyCertificate* found) {
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(store, certificate)) != nullptr) {
    std::wstring container = KeyContainerName(certificate);
    if (!container.empty() &&
        CompareStringOrdinal(container.c_str(), -1, key_name, -1, TRUE) == CSTR_EQUAL) {
      found->match = KeyMatch::kContainer;
      found->matched_text = container;
      return certificate;
    }
    if (!HasMurakoFriendlyName(certificate)) continue;
    std::wstring common_name = SubjectCommonName(certificate);
    if (common_name == key_name) {
      found->match = KeyMatch::kCommonName;
      found->matched_text = common_name;
      return certificate;
    }
  }
  return nullptr;
}

}  // namespace

bool FindKeyCertificate(HCERTSTORE store, const wchar_t* key_name, KeyCertificate* found) {
  if (ParseThumbprint(key_name, &found->thumbprint)) {
    found->match = KeyMatch::kThumbprint;
    found->matched_text.clear();
    found->certificate.reset(FindByThumbprint(store, found->thumbprint));
    return static_cast<bool>(found->certificate);
  }
  found->certificate.reset(FindByName(store, key_name, found));
  return found->certificate && ReadThumbprint(found->certificate.get(), &found->thumbprint);
}

CertificatePresence KeyCertificatePresence(const KspKeyHandle& key) {
  UniqueCertStore store(OpenPersonalStore());
  if (!store) return CertificatePresence::kStoreUnavailable;
  UniqueCertContext certificate(FindByThumbprint(store.get(), key.thumbprint));
  if (certificate) return CertificatePresence::kPresent;
  const DWORD search_error = GetLastError();
  store.reset();
  SetLastError(search_error);
  return CertificatePresence::kRemoved;
}
