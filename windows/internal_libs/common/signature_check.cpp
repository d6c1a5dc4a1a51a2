#include "signature_check.h"

#include <bcrypt.h>

#include <cstdio>
#include <memory>
#include <new>

#include "hash_classification.h"
#include "scoped_srw_exclusive_lock.h"
#include "system_library.h"

namespace {

using VerifySignatureFn = decltype(&BCryptVerifySignature);
using DestroyKeyFn = decltype(&BCryptDestroyKey);

std::string StatusText(const char* what, unsigned long status) {
  char text[160];
  snprintf(text, sizeof(text), "%s (status=0x%08lX)", what, status);
  return text;
}

// BCrypt taken from the system folder by its full path: the provider imports none of it, so it
// loads in processes that carry a bcrypt.dll of their own.
class SystemBCrypt {
 public:
  SystemBCrypt() : module_(LoadSystemLibrary(L"bcrypt.dll")) {
    if (!module_) return;
    verify_ = reinterpret_cast<VerifySignatureFn>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "BCryptVerifySignature")));
    destroy_ = reinterpret_cast<DestroyKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "BCryptDestroyKey")));
  }
  bool ready() const { return verify_ != nullptr && destroy_ != nullptr; }

  VerifySignatureFn verify_ = nullptr;
  DestroyKeyFn destroy_ = nullptr;

 private:
  UniqueModule module_;
};

// The BCrypt held while provider handles are open, so that a signature does not load and
// unload it again. Checks read it under the shared lock; the last release frees it under the
// exclusive one, after every check that uses it has finished.
SRWLOCK g_held_lock = SRWLOCK_INIT;
size_t g_holders = 0;
SystemBCrypt* g_held = nullptr;

class SharedHeldBCrypt {
 public:
  SharedHeldBCrypt() { AcquireSRWLockShared(&g_held_lock); }
  ~SharedHeldBCrypt() { ReleaseSRWLockShared(&g_held_lock); }
  SharedHeldBCrypt(const SharedHeldBCrypt&) = delete;
  SharedHeldBCrypt& operator=(const SharedHeldBCrypt&) = delete;
  const SystemBCrypt* get() const { return g_held != nullptr && g_held->ready() ? g_held : nullptr; }
};

const wchar_t* HashAlgorithmFor(size_t raw_hash_bytes) {
  switch (raw_hash_bytes) {
    case 32: return BCRYPT_SHA256_ALGORITHM;
    case 48: return BCRYPT_SHA384_ALGORITHM;
    case 64: return BCRYPT_SHA512_ALGORITHM;
    default: return nullptr;
  }
}

}  // namespace

// Read from the decoded public key: Wine's BCryptGetProperty answers no key length.
DWORD CertificateModulusBytes(PCCERT_CONTEXT certificate) {
  const CRYPT_BIT_BLOB& key = certificate->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, key.pbData, key.cbData, 0,
                           nullptr, nullptr, &size) ||
      size < sizeof(BCRYPT_RSAKEY_BLOB)) {
    return 0;
  }
  std::vector<BYTE> blob(size);
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, key.pbData, key.cbData, 0,
                           nullptr, blob.data(), &size)) {
    return 0;
  }
  return reinterpret_cast<const BCRYPT_RSAKEY_BLOB*>(blob.data())->cbModulus;
}

namespace {

std::string VerifyWithKey(const SystemBCrypt& bcrypt, BCRYPT_KEY_HANDLE key,
                          const RemoteSignatureRequest& request, const BYTE* signature,
                          DWORD signature_bytes) {
  BCRYPT_PKCS1_PADDING_INFO pkcs1{request.hash_algorithm};
  BCRYPT_PSS_PADDING_INFO pss{request.hash_algorithm, static_cast<ULONG>(request.raw_hash.size())};
  NTSTATUS status = bcrypt.verify_(key, request.pss ? static_cast<void*>(&pss) : static_cast<void*>(&pkcs1),
                          const_cast<PUCHAR>(request.raw_hash.data()),
                          static_cast<ULONG>(request.raw_hash.size()), const_cast<PUCHAR>(signature),
                          signature_bytes, request.pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1);
  if (status != 0) {
    return StatusText("signature does not verify with the certificate's public key", status);
  }
  return std::string();
}

}  // namespace

RemoteSignatureRequest RemoteRequestFor(const BYTE* hash, DWORD hash_bytes, DWORD padding_flags) {
  RemoteSignatureRequest request;
  HashClassification classified = ClassifyHash(hash, hash_bytes);
  if (!classified.accepted) {
    request.refusal = "the hash is not one the service signs";
    return request;
  }
  return RemoteRequestForRawHash(std::move(classified.raw_hash),
                                 (padding_flags & BCRYPT_PAD_PSS) != 0);
}

RemoteSignatureRequest RemoteRequestForRawHash(std::vector<uint8_t> raw_hash, bool pss) {
  RemoteSignatureRequest request;
  request.hash_algorithm = HashAlgorithmFor(raw_hash.size());
  if (request.hash_algorithm == nullptr) {
    request.refusal = "the hash is not one the service signs";
    return request;
  }
  request.understood = true;
  request.raw_hash = std::move(raw_hash);
  request.pss = pss;
  return request;
}

DWORD ServicePssSaltBytes(const BYTE* hash, DWORD hash_bytes) {
  HashClassification classified = ClassifyHash(hash, hash_bytes);
  return classified.accepted ? static_cast<DWORD>(classified.raw_hash.size()) : hash_bytes;
}

std::vector<uint8_t> SignatureOfKeyLength(const BYTE* signature, DWORD signature_bytes,
                                          DWORD key_bytes) {
  if (signature == nullptr || signature_bytes > key_bytes) return {};
  std::vector<uint8_t> padded(key_bytes - signature_bytes, 0);
  padded.insert(padded.end(), signature, signature + signature_bytes);
  return padded;
}

std::string SignatureRefusal(PCCERT_CONTEXT certificate, const RemoteSignatureRequest& request,
                             const BYTE* signature, DWORD signature_bytes) {
  if (!request.understood) return request.refusal;
  if (certificate == nullptr) return "the key's certificate is no longer in the store";
  if (signature == nullptr || signature_bytes == 0) return "the bridge returned no signature";
  const DWORD modulus_bytes = CertificateModulusBytes(certificate);
  if (signature_bytes != modulus_bytes) {
    return "signature is " + std::to_string(signature_bytes) + " bytes, the certificate's modulus " +
           std::to_string(modulus_bytes);
  }
  SharedHeldBCrypt held;
  std::unique_ptr<SystemBCrypt> loaded_now;
  const SystemBCrypt* bcrypt = held.get();
  if (bcrypt == nullptr) {
    loaded_now.reset(new SystemBCrypt());
    bcrypt = loaded_now.get();
  }
  if (!bcrypt->ready()) return "bcrypt.dll of the system folder is unavailable";
  BCRYPT_KEY_HANDLE raw_key = nullptr;
  if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING,
                                   &certificate->pCertInfo->SubjectPublicKeyInfo, 0, nullptr,
                                   &raw_key)) {
    return StatusText("the certificate's public key cannot be imported", GetLastError());
  }
  std::unique_ptr<void, DestroyKeyFn> key(raw_key, bcrypt->destroy_);
  return VerifyWithKey(*bcrypt, key.get(), request, signature, signature_bytes);
}

void HoldSystemBCrypt() {
  ScopedSrwExclusiveLock exclusive(g_held_lock);
  if (g_holders++ == 0) g_held = new (std::nothrow) SystemBCrypt();
}

void ReleaseSystemBCrypt() {
  std::unique_ptr<SystemBCrypt> released;
  {
    ScopedSrwExclusiveLock exclusive(g_held_lock);
    if (g_holders == 0 || --g_holders != 0) return;
    released.reset(g_held);
    g_held = nullptr;
  }
}
