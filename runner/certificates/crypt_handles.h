#pragma once

#include <windows.h>
#include <wincrypt.h>

// Small owners for the CryptoAPI provider and hash handles of this folder: each releases its
// handle on every path. Certificate stores and contexts have theirs in cert_handles.h.

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
