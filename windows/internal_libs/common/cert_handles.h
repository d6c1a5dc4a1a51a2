#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "unique_handle.h"

// Owners for CryptoAPI handles.

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle store) { CertCloseStore(store, 0); }
};
using UniqueCertStore = UniqueHandle<CertStoreTraits>;

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle context) { CertFreeCertificateContext(context); }
};
using UniqueCertContext = UniqueHandle<CertContextTraits>;

struct CryptProviderTraits {
  using Handle = HCRYPTPROV;
  static Handle Invalid() { return 0; }
  static void Close(Handle provider) { CryptReleaseContext(provider, 0); }
};
using UniqueCryptProvider = UniqueHandle<CryptProviderTraits>;

struct CryptHashTraits {
  using Handle = HCRYPTHASH;
  static Handle Invalid() { return 0; }
  static void Close(Handle hash) { CryptDestroyHash(hash); }
};
using UniqueCryptHash = UniqueHandle<CryptHashTraits>;

// A store whose changes are written whenever it is closed, on every path: Wine drops some
// store changes at close otherwise, and the commit is harmless on Windows.
struct CommittingCertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle store) {
    CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(store, 0);
  }
};
using UniqueCommittingCertStore = UniqueHandle<CommittingCertStoreTraits>;
