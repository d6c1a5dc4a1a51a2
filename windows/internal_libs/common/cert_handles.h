#pragma once

#include <windows.h>
#include <wincrypt.h>

// Owners for CryptoAPI certificate store and certificate context handles, so that every path
// releases them.

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
  // Writes pending changes now: Wine drops some store changes at close otherwise, and the call
  // is harmless on Windows.
  void Commit() const {
    if (store_ != nullptr) CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  }

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
