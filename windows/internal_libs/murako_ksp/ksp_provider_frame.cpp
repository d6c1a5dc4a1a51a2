// Opening and releasing provider handles, key handles and returned buffers.

#include <cstring>
#include <cwchar>
#include <utility>

#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "signature_check.h"

namespace {

// A provider name whose byte length with terminator does not stay below 0xFFFF is refused.
constexpr size_t kMaxProviderNameCharacters = 32766;

SECURITY_STATUS NewProviderHandle(NCRYPT_PROV_HANDLE* out, LPCWSTR name) {
  if (out == nullptr || name == nullptr) return NTE_INVALID_PARAMETER;
  size_t characters = wcsnlen(name, kMaxProviderNameCharacters + 1);
  if (characters > kMaxProviderNameCharacters) return NTE_INVALID_PARAMETER;
  DWORD name_bytes = static_cast<DWORD>((characters + 1) * sizeof(wchar_t));
  DWORD size = static_cast<DWORD>(sizeof(KspProviderHandle)) + name_bytes;
  KspProviderHandle* provider = static_cast<KspProviderHandle*>(KspHeapAllocUninitialised(size));
  if (provider == nullptr) return NTE_NO_MEMORY;
  provider->size = size;
  provider->magic = kProviderMagic;
  provider->name =
      reinterpret_cast<LPWSTR>(reinterpret_cast<BYTE*>(provider) + sizeof(KspProviderHandle));
  memcpy(provider->name, name, name_bytes);
  HoldSystemBCrypt();
  *out = reinterpret_cast<NCRYPT_PROV_HANDLE>(provider);
  return ERROR_SUCCESS;
}

SlotResult OpenProvider(NCRYPT_PROV_HANDLE* out, LPCWSTR name) {
  KspLog(">>> MurakoOpenProvider");
  return Answer(NewProviderHandle(out, name));
}

SlotResult FreeProvider(NCRYPT_PROV_HANDLE handle) {
  KspLog(">>> MurakoFreeProvider");
  KspProviderHandle* provider = ProviderFromHandle(handle);
  if (provider == nullptr) {
    return Answer(NTE_INVALID_HANDLE, "%s", handle == 0 ? "NULL" : "bad magic");
  }
  WipeAndFree(provider, provider->size);
  ReleaseSystemBCrypt();
  return Answer(ERROR_SUCCESS);
}

SlotResult FreeKey(NCRYPT_KEY_HANDLE handle) {
  KspLog(">>> MurakoFreeKey");
  KspKeyHandle* key = KeyFromHandle(handle);
  if (key == nullptr) {
    return Answer(NTE_INVALID_HANDLE, "%s", handle == 0 ? "NULL" : "bad magic");
  }
  SlotResult freed = Answer(ERROR_SUCCESS, "key='%s'", KspLogText(key->keyName).c_str());
  FreeKeyHandle(key);
  return freed;
}

void ReleaseEnumState(KspKeyEnumState* state) {
  UniqueCertContext last(std::exchange(state->last, nullptr));
  UniqueCertStore store(std::exchange(state->store, nullptr));
  // The certificate reached last holds a reference on the store: release it first, or the
  // store would stay open after it is closed.
  last.reset();
}

}  // namespace

SECURITY_STATUS WINAPI MurakoOpenProvider(NCRYPT_PROV_HANDLE* phProvider, LPCWSTR pszProviderName,
                                          DWORD /*dwFlags*/) {
  return GuardSlot(
      "MurakoOpenProvider", [&] { return OpenProvider(phProvider, pszProviderName); },
      kStatusCodeExitLine);
}

SECURITY_STATUS WINAPI MurakoFreeProvider(NCRYPT_PROV_HANDLE hProvider) {
  return GuardSlot("MurakoFreeProvider", [&] { return FreeProvider(hProvider); });
}

SECURITY_STATUS WINAPI MurakoFreeKey(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey) {
  return GuardSlot("MurakoFreeKey", [&] { return FreeKey(hKey); });
}

SECURITY_STATUS WINAPI MurakoFreeBuffer(PVOID pvInput) {
  return GuardSlot(
      "MurakoFreeBuffer",
      [&] {
        if (IsEnumState(pvInput)) {
          KspKeyEnumState* state = static_cast<KspKeyEnumState*>(pvInput);
          ReleaseEnumState(state);
          state->magic = 0;
        }
        KspHeapFree(pvInput);
        return Answer(ERROR_SUCCESS);
      },
      kFailuresOnlyExitLine);
}
