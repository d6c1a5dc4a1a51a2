// Stand-in for Windows' ncrypt.dll router: opens a key storage provider by the name it was
// registered under (the Providers\<name>\UM registration that BCryptRegisterProvider writes),
// loads its image from the system directory, takes its function table from
// GetKeyStorageInterface and forwards every call to it. Provider and key handles handed out
// are the router's own records, so NCryptFreeObject can tell them apart, and buffers are
// returned to the provider that allocated them.

#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>

#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "cng_registry_layout.h"
#include "key_storage_function_table.h"

namespace {

using namespace cng_registry;

constexpr DWORD kProviderMagic = 0x50525452;  // "RTRP"
constexpr DWORD kKeyMagic = 0x4B525452;       // "RTRK"
const wchar_t kKeyStorageFunction[] = L"KEY_STORAGE";
const wchar_t kDefaultProvider[] = L"Microsoft Software Key Storage Provider";

struct RoutedProvider {
  DWORD magic = kProviderMagic;
  LONG references = 1;  // the handle itself, plus one per open key and outstanding buffer
  HMODULE image = nullptr;
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table = nullptr;
  NCRYPT_PROV_HANDLE inner = 0;
};

struct RoutedKey {
  DWORD magic = kKeyMagic;
  RoutedProvider* provider = nullptr;
  NCRYPT_KEY_HANDLE inner = 0;
};

std::mutex& BufferLock() {
  static std::mutex lock;
  return lock;
}
// Buffers the providers handed out, with the provider that must free them.
std::map<void*, RoutedProvider*>& Buffers() {
  static std::map<void*, RoutedProvider*> buffers;
  return buffers;
}

RoutedProvider* AsProvider(NCRYPT_HANDLE handle) {
  auto* provider = reinterpret_cast<RoutedProvider*>(handle);
  return provider != nullptr && provider->magic == kProviderMagic ? provider : nullptr;
}

RoutedKey* AsKey(NCRYPT_HANDLE handle) {
  auto* key = reinterpret_cast<RoutedKey*>(handle);
  return key != nullptr && key->magic == kKeyMagic ? key : nullptr;
}

void AddReference(RoutedProvider* provider) { InterlockedIncrement(&provider->references); }

void Release(RoutedProvider* provider) {
  if (InterlockedDecrement(&provider->references) != 0) return;
  provider->table->FreeProvider(provider->inner);
  FreeLibrary(provider->image);
  provider->magic = 0;
  delete provider;
}

void TrackBuffer(void* buffer, RoutedProvider* provider) {
  if (buffer == nullptr) return;
  std::lock_guard<std::mutex> guard(BufferLock());
  auto inserted = Buffers().emplace(buffer, provider);
  if (inserted.second) AddReference(provider);
}

// An image name without a path lives in the system directory, as CNG expects.
std::wstring ImagePath(const std::wstring& image) {
  if (image.find(L'\\') != std::wstring::npos || image.find(L':') != std::wstring::npos) {
    return image;
  }
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system, length) + L"\\" + image;
}

SECURITY_STATUS ResolveImage(const wchar_t* name, std::wstring& imagePath) {
  std::wstring userMode = std::wstring(kProvidersPath) + L"\\" + name + L"\\UM";
  std::wstring image;
  if (!ReadString(HKEY_LOCAL_MACHINE, userMode, L"Image", image) || image.empty()) {
    return NTE_BAD_PROVIDER;
  }
  std::vector<std::wstring> functions;
  if (!ReadMultiString(HKEY_LOCAL_MACHINE, userMode + L"\\" + InterfaceKeyName(NCRYPT_KEY_STORAGE_INTERFACE),
                       L"Functions", functions) ||
      !ContainsIgnoringCase(functions, kKeyStorageFunction)) {
    return NTE_BAD_PROVIDER;
  }
  imagePath = ImagePath(image);
  return ERROR_SUCCESS;
}

SECURITY_STATUS OpenProvider(NCRYPT_PROV_HANDLE* handle, const wchar_t* name, DWORD flags) {
  if (handle == nullptr) return NTE_INVALID_PARAMETER;
  if (name == nullptr) name = kDefaultProvider;
  std::wstring imagePath;
  SECURITY_STATUS status = ResolveImage(name, imagePath);
  if (status != ERROR_SUCCESS) return status;
  HMODULE image = LoadLibraryW(imagePath.c_str());
  if (image == nullptr) return NTE_PROV_DLL_NOT_FOUND;
  auto entry = reinterpret_cast<GetKeyStorageInterfaceFn>(
      reinterpret_cast<void*>(GetProcAddress(image, "GetKeyStorageInterface")));
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table = nullptr;
  status = entry == nullptr ? NTE_PROVIDER_DLL_FAIL : entry(name, &table, 0);
  if (status == ERROR_SUCCESS && table == nullptr) status = NTE_PROVIDER_DLL_FAIL;
  NCRYPT_PROV_HANDLE inner = 0;
  if (status == ERROR_SUCCESS) status = table->OpenProvider(&inner, name, flags);
  if (status != ERROR_SUCCESS) {
    FreeLibrary(image);
    return status;
  }
  auto* provider = new (std::nothrow) RoutedProvider;
  if (provider == nullptr) {
    table->FreeProvider(inner);
    FreeLibrary(image);
    return NTE_NO_MEMORY;
  }
  provider->image = image;
  provider->table = table;
  provider->inner = inner;
  *handle = reinterpret_cast<NCRYPT_PROV_HANDLE>(provider);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WrapKey(RoutedProvider* provider, NCRYPT_KEY_HANDLE inner,
                        NCRYPT_KEY_HANDLE* handle) {
  auto* key = new (std::nothrow) RoutedKey;
  if (key == nullptr) {
    provider->table->FreeKey(provider->inner, inner);
    return NTE_NO_MEMORY;
  }
  key->provider = provider;
  key->inner = inner;
  AddReference(provider);
  *handle = reinterpret_cast<NCRYPT_KEY_HANDLE>(key);
  return ERROR_SUCCESS;
}

void DestroyKeyRecord(RoutedKey* key) {
  RoutedProvider* provider = key->provider;
  key->magic = 0;
  delete key;
  Release(provider);
}

template <typename Operation>
SECURITY_STATUS Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return NTE_NO_MEMORY;
  } catch (...) {
    return NTE_INTERNAL_ERROR;
  }
}

}  // namespace

extern "C" {

SECURITY_STATUS WINAPI NCryptOpenStorageProvider(NCRYPT_PROV_HANDLE* phProvider,
                                                 LPCWSTR pszProviderName, DWORD dwFlags) {
  return Guarded([&] { return OpenProvider(phProvider, pszProviderName, dwFlags); });
}

SECURITY_STATUS WINAPI NCryptOpenKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE* phKey,
                                     LPCWSTR pszKeyName, DWORD dwLegacyKeySpec, DWORD dwFlags) {
  RoutedProvider* provider = AsProvider(hProvider);
  if (provider == nullptr) return NTE_INVALID_HANDLE;
  if (phKey == nullptr) return NTE_INVALID_PARAMETER;
  NCRYPT_KEY_HANDLE inner = 0;
  SECURITY_STATUS status =
      provider->table->OpenKey(provider->inner, &inner, pszKeyName, dwLegacyKeySpec, dwFlags);
  return status != ERROR_SUCCESS ? status : WrapKey(provider, inner, phKey);
}

SECURITY_STATUS WINAPI NCryptCreatePersistedKey(NCRYPT_PROV_HANDLE hProvider,
                                                NCRYPT_KEY_HANDLE* phKey, LPCWSTR pszAlgId,
                                                LPCWSTR pszKeyName, DWORD dwLegacyKeySpec,
                                                DWORD dwFlags) {
  RoutedProvider* provider = AsProvider(hProvider);
  if (provider == nullptr) return NTE_INVALID_HANDLE;
  if (phKey == nullptr) return NTE_INVALID_PARAMETER;
  NCRYPT_KEY_HANDLE inner = 0;
  SECURITY_STATUS status = provider->table->CreatePersistedKey(
      provider->inner, &inner, pszAlgId, pszKeyName, dwLegacyKeySpec, dwFlags);
  return status != ERROR_SUCCESS ? status : WrapKey(provider, inner, phKey);
}

SECURITY_STATUS WINAPI NCryptGetProperty(NCRYPT_HANDLE hObject, LPCWSTR pszProperty,
                                         PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                         DWORD dwFlags) {
  if (RoutedKey* key = AsKey(hObject)) {
    return key->provider->table->GetKeyProperty(key->provider->inner, key->inner, pszProperty,
                                                pbOutput, cbOutput, pcbResult, dwFlags);
  }
  if (RoutedProvider* provider = AsProvider(hObject)) {
    return provider->table->GetProviderProperty(provider->inner, pszProperty, pbOutput, cbOutput,
                                                pcbResult, dwFlags);
  }
  return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptSetProperty(NCRYPT_HANDLE hObject, LPCWSTR pszProperty,
                                         PBYTE pbInput, DWORD cbInput, DWORD dwFlags) {
  if (RoutedKey* key = AsKey(hObject)) {
    return key->provider->table->SetKeyProperty(key->provider->inner, key->inner, pszProperty,
                                                pbInput, cbInput, dwFlags);
  }
  if (RoutedProvider* provider = AsProvider(hObject)) {
    return provider->table->SetProviderProperty(provider->inner, pszProperty, pbInput, cbInput,
                                                dwFlags);
  }
  return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptFinalizeKey(NCRYPT_KEY_HANDLE hKey, DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  return key->provider->table->FinalizeKey(key->provider->inner, key->inner, dwFlags);
}

// As on Windows, a deleted key's handle is released too.
SECURITY_STATUS WINAPI NCryptDeleteKey(NCRYPT_KEY_HANDLE hKey, DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  SECURITY_STATUS status =
      key->provider->table->DeleteKey(key->provider->inner, key->inner, dwFlags);
  if (status == ERROR_SUCCESS) DestroyKeyRecord(key);
  return status;
}

SECURITY_STATUS WINAPI NCryptSignHash(NCRYPT_KEY_HANDLE hKey, VOID* pPaddingInfo,
                                      PBYTE pbHashValue, DWORD cbHashValue, PBYTE pbSignature,
                                      DWORD cbSignature, DWORD* pcbResult, DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  return key->provider->table->SignHash(key->provider->inner, key->inner, pPaddingInfo,
                                        pbHashValue, cbHashValue, pbSignature, cbSignature,
                                        pcbResult, dwFlags);
}

SECURITY_STATUS WINAPI NCryptVerifySignature(NCRYPT_KEY_HANDLE hKey, VOID* pPaddingInfo,
                                             PBYTE pbHashValue, DWORD cbHashValue,
                                             PBYTE pbSignature, DWORD cbSignature, DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  return key->provider->table->VerifySignature(key->provider->inner, key->inner, pPaddingInfo,
                                               pbHashValue, cbHashValue, pbSignature, cbSignature,
                                               dwFlags);
}

SECURITY_STATUS WINAPI NCryptEncrypt(NCRYPT_KEY_HANDLE hKey, PBYTE pbInput, DWORD cbInput,
                                     VOID* pPaddingInfo, PBYTE pbOutput, DWORD cbOutput,
                                     DWORD* pcbResult, DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  return key->provider->table->Encrypt(key->provider->inner, key->inner, pbInput, cbInput,
                                       pPaddingInfo, pbOutput, cbOutput, pcbResult, dwFlags);
}

SECURITY_STATUS WINAPI NCryptDecrypt(NCRYPT_KEY_HANDLE hKey, PBYTE pbInput, DWORD cbInput,
                                     VOID* pPaddingInfo, PBYTE pbOutput, DWORD cbOutput,
                                     DWORD* pcbResult, DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  return key->provider->table->Decrypt(key->provider->inner, key->inner, pbInput, cbInput,
                                       pPaddingInfo, pbOutput, cbOutput, pcbResult, dwFlags);
}

SECURITY_STATUS WINAPI NCryptExportKey(NCRYPT_KEY_HANDLE hKey, NCRYPT_KEY_HANDLE hExportKey,
                                       LPCWSTR pszBlobType, NCryptBufferDesc* pParameterList,
                                       PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                       DWORD dwFlags) {
  RoutedKey* key = AsKey(hKey);
  if (key == nullptr) return NTE_INVALID_HANDLE;
  RoutedKey* exportKey = AsKey(hExportKey);
  if (hExportKey != 0 && exportKey == nullptr) return NTE_INVALID_HANDLE;
  return key->provider->table->ExportKey(key->provider->inner, key->inner,
                                         exportKey != nullptr ? exportKey->inner : 0, pszBlobType,
                                         pParameterList, pbOutput, cbOutput, pcbResult, dwFlags);
}

SECURITY_STATUS WINAPI NCryptImportKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hImportKey,
                                       LPCWSTR pszBlobType, NCryptBufferDesc* pParameterList,
                                       NCRYPT_KEY_HANDLE* phKey, PBYTE pbData, DWORD cbData,
                                       DWORD dwFlags) {
  RoutedProvider* provider = AsProvider(hProvider);
  if (provider == nullptr) return NTE_INVALID_HANDLE;
  if (phKey == nullptr) return NTE_INVALID_PARAMETER;
  RoutedKey* importKey = AsKey(hImportKey);
  if (hImportKey != 0 && importKey == nullptr) return NTE_INVALID_HANDLE;
  NCRYPT_KEY_HANDLE inner = 0;
  SECURITY_STATUS status = provider->table->ImportKey(
      provider->inner, importKey != nullptr ? importKey->inner : 0, pszBlobType, pParameterList,
      &inner, pbData, cbData, dwFlags);
  return status != ERROR_SUCCESS ? status : WrapKey(provider, inner, phKey);
}

SECURITY_STATUS WINAPI NCryptIsAlgSupported(NCRYPT_PROV_HANDLE hProvider, LPCWSTR pszAlgId,
                                            DWORD dwFlags) {
  RoutedProvider* provider = AsProvider(hProvider);
  if (provider == nullptr) return NTE_INVALID_HANDLE;
  return provider->table->IsAlgSupported(provider->inner, pszAlgId, dwFlags);
}

SECURITY_STATUS WINAPI NCryptEnumAlgorithms(NCRYPT_PROV_HANDLE hProvider, DWORD dwAlgOperations,
                                            DWORD* pdwAlgCount, NCryptAlgorithmName** ppAlgList,
                                            DWORD dwFlags) {
  RoutedProvider* provider = AsProvider(hProvider);
  if (provider == nullptr) return NTE_INVALID_HANDLE;
  return Guarded([&] {
    SECURITY_STATUS status = provider->table->EnumAlgorithms(provider->inner, dwAlgOperations,
                                                             pdwAlgCount, ppAlgList, dwFlags);
    if (status == ERROR_SUCCESS && ppAlgList != nullptr) TrackBuffer(*ppAlgList, provider);
    return status;
  });
}

SECURITY_STATUS WINAPI NCryptEnumKeys(NCRYPT_PROV_HANDLE hProvider, LPCWSTR pszScope,
                                      NCryptKeyName** ppKeyName, PVOID* ppEnumState,
                                      DWORD dwFlags) {
  RoutedProvider* provider = AsProvider(hProvider);
  if (provider == nullptr) return NTE_INVALID_HANDLE;
  return Guarded([&] {
    SECURITY_STATUS status =
        provider->table->EnumKeys(provider->inner, pszScope, ppKeyName, ppEnumState, dwFlags);
    // The enumeration state is the provider's too, and outlives the last key returned.
    if (ppEnumState != nullptr) TrackBuffer(*ppEnumState, provider);
    if (status == ERROR_SUCCESS && ppKeyName != nullptr) TrackBuffer(*ppKeyName, provider);
    return status;
  });
}

SECURITY_STATUS WINAPI NCryptFreeBuffer(PVOID pvInput) {
  if (pvInput == nullptr) return ERROR_SUCCESS;
  RoutedProvider* provider = nullptr;
  {
    std::lock_guard<std::mutex> guard(BufferLock());
    auto found = Buffers().find(pvInput);
    if (found == Buffers().end()) return NTE_INVALID_PARAMETER;
    provider = found->second;
    Buffers().erase(found);
  }
  SECURITY_STATUS status = provider->table->FreeBuffer(pvInput);
  Release(provider);
  return status;
}

SECURITY_STATUS WINAPI NCryptFreeObject(NCRYPT_HANDLE hObject) {
  if (RoutedKey* key = AsKey(hObject)) {
    SECURITY_STATUS status = key->provider->table->FreeKey(key->provider->inner, key->inner);
    DestroyKeyRecord(key);
    return status;
  }
  if (RoutedProvider* provider = AsProvider(hObject)) {
    // Open keys keep the provider loaded until they are freed as well.
    provider->magic = 0;
    Release(provider);
    return ERROR_SUCCESS;
  }
  return NTE_INVALID_HANDLE;
}

BOOL WINAPI NCryptIsKeyHandle(NCRYPT_KEY_HANDLE hKey) { return AsKey(hKey) != nullptr; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
