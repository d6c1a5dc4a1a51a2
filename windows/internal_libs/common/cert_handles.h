#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "unique_handle.h"

// Owners for CryptoAPI handles.

inline void CloseCertStore(HCERTSTORE store) { CertCloseStore(store, 0); }
inline void ReleaseCryptProvider(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
// Wine drops some store changes at close otherwise; the commit is harmless on Windows.
inline void CommitAndCloseCertStore(HCERTSTORE store) {
  CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  CertCloseStore(store, 0);
}

using UniqueCertStore = UniqueAny<HCERTSTORE, CloseCertStore>;
using UniqueCertContext = UniqueAny<PCCERT_CONTEXT, CertFreeCertificateContext>;
using UniqueCryptProvider = UniqueAny<HCRYPTPROV, ReleaseCryptProvider>;
using UniqueCryptHash = UniqueAny<HCRYPTHASH, CryptDestroyHash>;
// A store whose changes are written whenever it is closed, on every path.
using UniqueCommittingCertStore = UniqueAny<HCERTSTORE, CommitAndCloseCertStore>;
