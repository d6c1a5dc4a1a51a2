// Opening and releasing provider handles, key handles and returned buffers.

#include <cstring>
#include <cwchar>

#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "signature_check.h"

namespace {

// A provider name whose byte length with terminator does not stay below 0xFFFF is refused.
constexpr size_t kMaxProviderNameCharacters = 32766;

SECURITY_STATUS OpenProvider(NCRYPT_PROV_HANDLE* out, LPCWSTR name) {
  if (out == nullptr || name == nullptr) {
    return NTE_INVALID_PARAMETER;
  }
  size_t characters = wcsnlen(name, kMaxProviderNameCharacters + 1);
  if (characters > kMaxProviderNameCharacters) {
    return NTE_INVALID_PARAMETER;
  }
  DWORD name_bytes = static_cast<DWORD>((characters + 1) * sizeof(wchar_t));
  DWORD size = static_cast<DWORD>(sizeof(KspProviderHandle)) + name_bytes;
  KspProviderHandle* provider = static_cast<KspProviderHandle*>(KspHeapAllocUninitialised(size));
  if (provider == nullptr) {
    return NTE_NO_MEMORY;
  }
  provider->size = size;
  provider->magic = kProviderMagic;
  provider->name =
      reinterpret_cast<LPWSTR>(reinterpret_cast<BYTE*>(provider) + sizeof(KspProviderHandle));
  memcpy(provider->name, name, name_bytes);
  HoldSystemBCrypt();
  *out = reinterpret_cast<NCRYPT_PROV_HANDLE>(provider);
  return ERROR_SUCCESS;
}

SECURITY_STATUS FreeProvider(NCRYPT_PROV_HANDLE handle) {
  if (handle == 0) {
    KspLog("<<< MurakoFreeProvider: NTE_INVALID_HANDLE (NULL)");
    return NTE_INVALID_HANDLE;
  }
  KspProviderHandle* provider = ProviderFromHandle(handle);
  if (provider == nullptr) {
    KspLog("<<< MurakoFreeProvider: NTE_INVALID_HANDLE (bad magic)");
    return NTE_INVALID_HANDLE;
  }
  WipeAndFree(provider, provider->size);
  ReleaseSystemBCrypt();
  KspLog("<<< MurakoFreeProvider: SUCCESS");
  return ERROR_SUCCESS;
}

SECURITY_STATUS FreeKey(NCRYPT_KEY_HANDLE handle) {
  if (handle == 0) {
    KspLog("<<< MurakoFreeKey: NTE_INVALID_HANDLE (NULL)");
    return NTE_INVALID_HANDLE;
  }
  KspKeyHandle* key = KeyFromHandle(handle);
  if (key == nullptr) {
    KspLog("<<< MurakoFreeKey: NTE_INVALID_HANDLE (bad magic)");
    return NTE_INVALID_HANDLE;
  }
  KspLog("<<< MurakoFreeKey: SUCCESS (key='%s')", KspLogText(key->keyName).c_str());
  FreeKeyHandle(key);
  return ERROR_SUCCESS;
}

void ReleaseEnumState(KspKeyEnumState* state) {
  // The certificate reached last holds a reference on the store: release it first, or the
  // store would stay open after CertCloseStore.
  if (state->last != nullptr) {
    CertFreeCertificateContext(state->last);
    state->last = nullptr;
  }
  if (state->store != nullptr) {
    CertCloseStore(state->store, 0);
    state->store = nullptr;
  }
}

}  // namespace

SECURITY_STATUS WINAPI MurakoOpenProvider(NCRYPT_PROV_HANDLE* phProvider, LPCWSTR pszProviderName,
                                          DWORD /*dwFlags*/) {
  return GuardSlot("MurakoOpenProvider", [&] {
    KspLog(">>> MurakoOpenProvider");
    SECURITY_STATUS status = OpenProvider(phProvider, pszProviderName);
    KspLog("<<< MurakoOpenProvider: status=0x%X", static_cast<unsigned>(status));
    return status;
  });
}

SECURITY_STATUS WINAPI MurakoFreeProvider(NCRYPT_PROV_HANDLE hProvider) {
  return GuardSlot("MurakoFreeProvider", [&] {
    KspLog(">>> MurakoFreeProvider");
    return FreeProvider(hProvider);
  });
}

SECURITY_STATUS WINAPI MurakoFreeKey(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey) {
  return GuardSlot("MurakoFreeKey", [&] {
    KspLog(">>> MurakoFreeKey");
    return FreeKey(hKey);
  });
}

SECURITY_STATUS WINAPI MurakoFreeBuffer(PVOID pvInput) {
  return GuardSlot("MurakoFreeBuffer", [&]() -> SECURITY_STATUS {
    if (pvInput == nullptr) {
      return ERROR_SUCCESS;
    }
    if (IsEnumState(pvInput)) {
      KspKeyEnumState* state = static_cast<KspKeyEnumState*>(pvInput);
      ReleaseEnumState(state);
      state->magic = 0;
    }
    KspHeapFree(pvInput);
    return ERROR_SUCCESS;
  });
}
