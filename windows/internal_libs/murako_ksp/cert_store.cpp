#include "cert_store.h"

#include <cwchar>
#include <utility>
#include <vector>

#include "ksp_handles.h"
#include "ksp_log.h"
#include "scoped_srw_exclusive_lock.h"

namespace {

constexpr DWORD kFriendlyNameBytes = 512;
constexpr DWORD kCommonNameCharacters = 256;

// Where the system keeps the current user's personal store.
constexpr wchar_t kPersonalStoreKey[] = L"Software\\Microsoft\\SystemCertificates\\My";

// A thread that impersonates another user may see another user's store: it opens its own.
bool ThreadMayImpersonate() {
  UniqueKernelHandle token;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) return true;
  return GetLastError() != ERROR_NO_TOKEN;
}

CertControlStoreFn g_control_store = nullptr;  // null: the system's

BOOL ControlStore(HCERTSTORE store, DWORD control, const void* argument) {
  if (g_control_store != nullptr) return g_control_store(store, 0, control, argument);
  return CertControlStore(store, 0, control, argument);
}

const char* WatchName(PersonalStoreWatch watch) {
  switch (watch) {
    case PersonalStoreWatch::Notification:
      return "kept open, resynchronised on the store's change notification or a change of its "
             "registry key";
    case PersonalStoreWatch::Registry:
      return "kept open, reopened when its registry key changes";
    default:
      return "opened at every call (no change notice can be armed)";
  }
}

// Opening the system store reads every certificate of the user, which costs more than
// everything else in opening a key, and signing programs open a key per signature. The store
// is therefore opened once per process and kept up to date with what any process installs or
// removes: through the store's own change notification (and its registry key, where the
// system keeps it there), resynchronised when either fires; where
// the system refuses that notification, by watching the store's registry key and opening the
// store anew after a change (the key is where the store lives there; on Windows the roaming
// profile's files may hold it, which only the notification covers); where neither can be
// armed, by opening the store at every call. No change goes unseen: both are armed before the
// store that answers is read. The notification can only be armed on an open store, which has
// been read by then, so that one only watches and the store that answers is opened after it.
class PersonalStoreCache {
 public:
  HCERTSTORE Get() {
    if (HCERTSTORE unchanged = UnchangedStore()) return unchanged;
    ScopedSrwExclusiveLock exclusive(lock_);
    if (watch_ == PersonalStoreWatch::None) Choose();
    if (watch_ == PersonalStoreWatch::OpenEveryCall) return OpenCurrentUserPersonalStore();
    if (!store_ || Changed()) Refresh();
    return store_ ? CertDuplicateStore(store_.get()) : OpenCurrentUserPersonalStore();
  }

  PersonalStoreWatch watch() {
    ScopedSrwSharedLock shared(lock_);
    return watch_;
  }

  // No lock: the process is ending and no other thread runs any more.
  void Abandon() {
    store_.release();
    watched_.release();
  }

  void Reset() {
    ScopedSrwExclusiveLock exclusive(lock_);
    store_.reset();
    watched_.reset();
    key_.reset();
    watch_ = PersonalStoreWatch::None;
    logged_ = PersonalStoreWatch::None;
  }

 private:
  // The usual case, shared by the threads that sign at once.
  HCERTSTORE UnchangedStore() {
    ScopedSrwSharedLock shared(lock_);
    return store_ && !Changed() ? CertDuplicateStore(store_.get()) : nullptr;
  }

  static bool Signaled(const UniqueKernelHandle& event) {
    return event && WaitForSingleObject(event.get(), 0) != WAIT_TIMEOUT;
  }
  bool Changed() const { return Signaled(changed_) || Signaled(notified_); }

  void Choose() {
    watch_ = PersonalStoreWatch::None;
    if (!changed_) changed_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!notified_) notified_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (changed_ && notified_) {
      // The registry key as well, armed before the store is read: a system may accept the
      // notification and never send it (Wine keeps this store in the registry, accepts the
      // call and resynchronises only part of a change), so a change of the key reopens it.
      const bool registry = WatchRegistry();
      watched_.reset(OpenCurrentUserPersonalStore());
      HANDLE event = notified_.get();
      if (watched_ && ResetEvent(event) &&
          ControlStore(watched_.get(), CERT_STORE_CTRL_NOTIFY_CHANGE, &event)) {
        store_.reset(OpenCurrentUserPersonalStore());
        watch_ = PersonalStoreWatch::Notification;
      } else if (registry) {
        store_ = std::move(watched_);  // read after the key was armed
        watch_ = PersonalStoreWatch::Registry;
      } else {
        watched_.reset();
      }
    }
    if (watch_ == PersonalStoreWatch::None) watch_ = PersonalStoreWatch::OpenEveryCall;
    if (logged_ != watch_) KspLog("    Personal store: %s", WatchName(watch_));
    logged_ = watch_;
  }

  // The watched store resynchronised re-arms its notification; the store that answers is then
  // opened anew, in the order a fresh store lists its certificates.
  void Refresh() {
    if (watch_ == PersonalStoreWatch::Notification && watched_ && !Signaled(changed_)) {
      HANDLE event = notified_.get();
      if (ResetEvent(event) && ControlStore(watched_.get(), CERT_STORE_CTRL_RESYNC, &event)) {
        store_.reset(OpenCurrentUserPersonalStore());
        if (store_) return;
      }
    }
    store_.reset();
    watched_.reset();
    if (watch_ == PersonalStoreWatch::Notification) return Choose();  // opened and armed anew
    if (WatchRegistry()) store_.reset(OpenCurrentUserPersonalStore());
  }

  bool WatchRegistry() {
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
  PersonalStoreWatch watch_ = PersonalStoreWatch::None;
  PersonalStoreWatch logged_ = PersonalStoreWatch::None;  // said once, or again if it changes
  UniqueKernelHandle changed_;   // the registry key changed
  UniqueKernelHandle notified_;  // the store's own change notification
  UniqueRegistryKey key_;
  UniqueCertStore watched_;  // with the notification: the store it is armed on
  UniqueCertStore store_;    // the store that answers
};

PersonalStoreCache g_personal_store;

}  // namespace

HCERTSTORE OpenPersonalStore() {
  if (ThreadMayImpersonate()) return OpenCurrentUserPersonalStore();
  return g_personal_store.Get();
}

PersonalStoreWatch CurrentPersonalStoreWatch() { return g_personal_store.watch(); }

void AbandonPersonalStoreAtProcessExit() { g_personal_store.Abandon(); }

void SetCertControlStoreForTesting(CertControlStoreFn control) {
  g_control_store = control;
  g_personal_store.Reset();
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
  UniqueProcessHeapBlock buffer(KspHeapAlloc(bytes));
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
