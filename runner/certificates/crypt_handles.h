#pragma once

#include <windows.h>
#include <wincrypt.h>

// Small owners for the CryptoAPI handles of this folder: each releases its handle on every path.

class CertStoreHandle {
 public:
  explicit CertStoreHandle(HCERTSTORE store = nullptr) : store_(store) {}
  ~CertStoreHandle() {
    if (store_ != nullptr) CertCloseStore(store_, 0);
  }
  CertStoreHandle(const CertStoreHandle&) = delete;
  CertStoreHandle& operator=(const CertStoreHandle&) = delete;

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

class CertContextHandle {
 public:
  explicit CertContextHandle(PCCERT_CONTEXT context = nullptr) : context_(context) {}
  ~CertContextHandle() { reset(); }
  CertContextHandle(const CertContextHandle&) = delete;
  CertContextHandle& operator=(const CertContextHandle&) = delete;

  PCCERT_CONTEXT get() const { return context_; }
  explicit operator bool() const { return context_ != nullptr; }
  void reset(PCCERT_CONTEXT context = nullptr) {
    if (context_ != nullptr) CertFreeCertificateContext(context_);
    context_ = context;
  }

 private:
  PCCERT_CONTEXT context_;
};

class CryptProviderHandle {
 public:
  CryptProviderHandle() = default;
  ~CryptProviderHandle() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  CryptProviderHandle(const CryptProviderHandle&) = delete;
  CryptProviderHandle& operator=(const CryptProviderHandle&) = delete;

  HCRYPTPROV get() const { return provider_; }
  HCRYPTPROV* put() { return &provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

class CryptHashHandle {
 public:
  CryptHashHandle() = default;
  ~CryptHashHandle() {
    if (hash_ != 0) CryptDestroyHash(hash_);
  }
  CryptHashHandle(const CryptHashHandle&) = delete;
  CryptHashHandle& operator=(const CryptHashHandle&) = delete;

  HCRYPTHASH get() const { return hash_; }
  HCRYPTHASH* put() { return &hash_; }

 private:
  HCRYPTHASH hash_ = 0;
};
