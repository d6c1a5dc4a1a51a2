#pragma once

#include <windows.h>
#include <wincrypt.h>

// The current user's personal certificate store, as the program and the provider open it.

// The "MY" system store of the current user, as it is now; null on failure. The handle is the
// caller's to close.
inline HCERTSTORE OpenCurrentUserPersonalStore() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
}

// The certificate of `store` whose SHA-1 hash is the bytes of `thumbprint` (a container of
// bytes: the 20 of the hash, not its hexadecimal text); null when there is none. The context
// is the caller's to free.
template <typename Bytes>
PCCERT_CONTEXT FindByThumbprint(HCERTSTORE store, const Bytes& thumbprint) {
  CRYPT_HASH_BLOB hash{static_cast<DWORD>(thumbprint.size()),
                       const_cast<BYTE*>(thumbprint.data())};
  return CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                    CERT_FIND_SHA1_HASH, &hash, nullptr);
}
