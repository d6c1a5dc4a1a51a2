#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>
#include <objbase.h>
#include <wincred.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cstdint>

// The one owner of a system handle: closes it exactly once, on every path, and can be moved
// (out of a function, into a container) but never copied. `Traits` names the handle type, the
// value that means "nothing" and the release function; UniqueAny below writes it for a handle
// type, its one-argument release function and its "nothing" (0 or null unless told):
//
//   using UniqueRegistryKey = UniqueAny<HKEY, RegCloseKey>;
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

  // Gives the handle up without closing it.
  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  // Closes the handle held so far (if any) and takes `handle`.
  void reset(Handle handle = Traits::Invalid()) noexcept {
    Handle old = handle_;
    handle_ = handle;
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // For functions that return a handle through an out-parameter: closes the current one first.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// The policy of one kind of handle: `kInvalid` is converted as Windows' own headers convert
// their "nothing" values (INVALID_HANDLE_VALUE is the handle -1), for pointer and integer handle
// types alike.
template <typename T, auto kClose, std::intptr_t kInvalid = 0>
struct HandlePolicy {
  using Handle = T;
  static Handle Invalid() { return (Handle)kInvalid; }
  static void Close(Handle handle) { kClose(handle); }
};

template <typename T, auto kClose, std::intptr_t kInvalid = 0>
using UniqueAny = UniqueHandle<HandlePolicy<T, kClose, kInvalid>>;

// Every alias below only names a release function: a target that uses none of a library's
// owners neither links nor imports that library.

using UniqueModule = UniqueAny<HMODULE, FreeLibrary>;
using UniqueRegistryKey = UniqueAny<HKEY, RegCloseKey>;
// Kernel objects whose "nothing" is null (threads, events, mutexes, tokens).
using UniqueKernelHandle = UniqueAny<HANDLE, CloseHandle>;
// Files, whose "nothing" is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<HANDLE, CloseHandle, -1>;
// Blocks Windows allocates for the caller with LocalAlloc (decoded structures, argument lists,
// security descriptors).
using UniqueLocalMemory = UniqueAny<HLOCAL, LocalFree>;

// Blocks taken with HeapAlloc from the process heap.
inline void FreeProcessHeapBlock(void* block) { HeapFree(GetProcessHeap(), 0, block); }
using UniqueProcessHeapBlock = UniqueAny<void*, FreeProcessHeapBlock>;
// Blocks a COM interface or a shell function allocates for the caller (strings, buffers).
template <typename T>
using UniqueCoTaskMemory = UniqueAny<T*, CoTaskMemFree>;
// Security identifiers built by AllocateAndInitializeSid.
using UniqueSid = UniqueAny<PSID, FreeSid>;
// Records CredRead allocates for the caller.
using UniqueCredential = UniqueAny<PCREDENTIALW, CredFree>;

// CryptoAPI.
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

// CNG primitives.
inline void CloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm) {
  BCryptCloseAlgorithmProvider(algorithm, 0);
}
using UniqueAlgorithmProvider = UniqueAny<BCRYPT_ALG_HANDLE, CloseAlgorithmProvider>;
using UniqueHash = UniqueAny<BCRYPT_HASH_HANDLE, BCryptDestroyHash>;

// CNG key storage: provider and key handles share one type and one release function; buffers
// the key storage router allocates for the caller (key names, enumeration states) have another.
using NCryptObject = UniqueAny<NCRYPT_HANDLE, NCryptFreeObject>;
template <typename T>
using UniqueNCryptBuffer = UniqueAny<T*, NCryptFreeBuffer>;

// One WinHTTP handle (session, connection or request). Declare session, connection and request
// in that order so they close in reverse.
using WinHttpHandle = UniqueAny<HINTERNET, WinHttpCloseHandle>;
