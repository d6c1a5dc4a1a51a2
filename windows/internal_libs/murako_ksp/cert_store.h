#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "thumbprint.h"

// Owners for CryptoAPI store and certificate handles, so that every path releases them, and the
// certificate questions the provider asks of the current user's personal store.

class ScopedCertStore {
 public:
  explicit ScopedCertStore(HCERTSTORE store = nullptr) : store_(store) {}
  ~ScopedCertStore() {
    if (store_ != nullptr) CertCloseStore(store_, 0);
  }
  ScopedCertStore(const ScopedCertStore&) = delete;
  ScopedCertStore& operator=(const ScopedCertStore&) = delete;

  HCERTSTORE get() const { return store_; }
  explicit operator bool() const { return store_ != nullptr; }

 private:
  HCERTSTORE store_;
};

class ScopedCertContext {
 public:
  explicit ScopedCertContext(PCCERT_CONTEXT context = nullptr) : context_(context) {}
  ~ScopedCertContext() { reset(); }
  ScopedCertContext(const ScopedCertContext&) = delete;
  ScopedCertContext& operator=(const ScopedCertContext&) = delete;

  PCCERT_CONTEXT get() const { return context_; }
  explicit operator bool() const { return context_ != nullptr; }
  void reset(PCCERT_CONTEXT context = nullptr) {
    if (context_ != nullptr) CertFreeCertificateContext(context_);
    context_ = context;
  }

 private:
  PCCERT_CONTEXT context_;
};

// The "MY" system store of the current user; null on failure.
HCERTSTORE OpenPersonalStore();

// The certificate whose SHA-1 hash is `thumbprint`, or null.
PCCERT_CONTEXT FindByThumbprint(HCERTSTORE store, const Thumbprint& thumbprint);

// True when the friendly name contains "Murako" (case-sensitive). A friendly name that does not
// fit 512 bytes counts as absent.
bool HasMurakoFriendlyName(PCCERT_CONTEXT certificate);

// First common name of the subject; empty when there is none.
std::wstring SubjectCommonName(PCCERT_CONTEXT certificate);

// Container name of the key-provider information; empty when absent.
std::wstring KeyContainerName(PCCERT_CONTEXT certificate);

// The SHA-1 thumbprint property.
bool ReadThumbprint(PCCERT_CONTEXT certificate, Thumbprint* thumbprint);
