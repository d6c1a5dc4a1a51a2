#include "cert_store.h"

#include <cwchar>
#include <vector>

#include "ksp_handles.h"
#include "scoped_srw_exclusive_lock.h"

namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kFriendlyNameBytes = 512;
constexpr DWORD kCommonNameCharacters = 256;

struct HeapBlockTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle block) { KspHeapFree(block); }
};

// Where the system keeps the current user's personal store.
constexpr wchar_t kPersonalStoreKey[] = L"Software\\Microsoft\\SystemCertificates\\My";

HCERTSTORE OpenPersonalStoreNow() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
}

// A thread that impersonates another user may see another user's store: it opens its own.
bool ThreadMayImpersonate() {
  UniqueKernelHandle token;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) return true;
  return GetLastError() != ERROR_NO_TOKEN;
}

// Opening the system store reads every certificate of the user from the registry, which costs
// more than everything else in opening a key, and signing programs open a key per signature.
// The store is therefore opened once per process, and opened anew after anything under its
// registry key changed (a certificate installed or removed by Sendaro or by the user, in any
// process). The change is watched before the store is read, so no change goes unseen. A store
// already handed out stays as it was for its holder, like a store opened at that moment.
class PersonalStoreCache {
 public:
  HCERTSTORE Get() {
    if (HCERTSTORE unchanged = UnchangedStore()) return unchanged;
    ScopedSrwExclusiveLock exclusive(lock_);
    if (!store_ || Changed()) Reopen();
    return store_ ? CertDuplicateStore(store_.get()) : OpenPersonalStoreNow();
  }

 private:
  // The usual case, shared by the threads that sign at once.
  HCERTSTORE UnchangedStore() {
    ScopedSrwSharedLock shared(lock_);
    return store_ && !Changed() ? CertDuplicateStore(store_.get()) : nullptr;
  }

  bool Changed() const { return WaitForSingleObject(changed_.get(), 0) != WAIT_TIMEOUT; }

  void Reopen() {
    store_.reset();
    if (WatchForChanges()) store_.reset(OpenPersonalStoreNow());
  }

  bool WatchForChanges() {
    if (!changed_) changed_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!key_) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kPersonalStoreKey, 0, KEY_NOTIFY, &key) !=
          ERROR_SUCCESS) {
        return false;
      }
      key_.reset(key);
    }
    if (!changed_ || !ResetEvent(changed_.get())) return false;
    if (RegNotifyChangeKeyValue(key_.get(), TRUE,
                                REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET |
                                    REG_NOTIFY_THREAD_AGNOSTIC,
                                changed_.get(), TRUE) == ERROR_SUCCESS) {
      return true;
    }
    key_.reset();  // deleted since it was opened: the next call opens the key anew
    return false;
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  UniqueKernelHandle changed_;
  UniqueRegistryKey key_;
  UniqueCertStore store_;
};

PersonalStoreCache g_personal_store;

}  // namespace

HCERTSTORE OpenPersonalStore() {
  if (ThreadMayImpersonate()) return OpenPersonalStoreNow();
  return g_personal_store.Get();
}

PCCERT_CONTEXT FindByThumbprint(HCERTSTORE store, const Thumbprint& thumbprint) {
  CRYPT_HASH_BLOB blob;
  blob.cbData = static_cast<DWORD>(thumbprint.size());
  blob.pbData = const_cast<BYTE*>(thumbprint.data());
  return CertFindCertificateInStore(store, kEncodings, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
}

bool HasMurakoFriendlyName(PCCERT_CONTEXT certificate) {
  wchar_t name[kFriendlyNameBytes / sizeof(wchar_t) + 1] = {};
  DWORD bytes = kFriendlyNameBytes;
  if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, name, &bytes)) {
    return false;
  }
  name[bytes / sizeof(wchar_t) < kFriendlyNameBytes / sizeof(wchar_t)
           ? bytes / sizeof(wchar_t)
           : kFriendlyNameBytes / sizeof(wchar_t)] = L'\0';
  return wcsstr(name, L"Murako") != nullptr;
}

std::wstring SubjectCommonName(PCCERT_CONTEXT certificate) {
  wchar_t name[kCommonNameCharacters] = {};
  CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0,
                     const_cast<char*>(szOID_COMMON_NAME), name, kCommonNameCharacters);
  name[kCommonNameCharacters - 1] = L'\0';
  return name;
}

std::wstring KeyContainerName(PCCERT_CONTEXT certificate) {
  DWORD bytes = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                         &bytes) ||
      bytes < sizeof(CRYPT_KEY_PROV_INFO)) {
    return std::wstring();
  }
  UniqueHandle<HeapBlockTraits> buffer(KspHeapAlloc(bytes));
  if (buffer.get() == nullptr ||
      !CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.get(),
                                         &bytes)) {
    return std::wstring();
  }
  const CRYPT_KEY_PROV_INFO* info = static_cast<const CRYPT_KEY_PROV_INFO*>(buffer.get());
  return info->pwszContainerName != nullptr ? std::wstring(info->pwszContainerName)
                                            : std::wstring();
}

bool ReadThumbprint(PCCERT_CONTEXT certificate, Thumbprint* thumbprint) {
  DWORD bytes = static_cast<DWORD>(thumbprint->size());
  return CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumbprint->data(),
                                           &bytes) &&
         bytes == thumbprint->size();
}
