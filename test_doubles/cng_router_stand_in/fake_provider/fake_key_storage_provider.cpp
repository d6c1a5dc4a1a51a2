// A tiny key storage provider for testing the router and the configuration tool without the
// real provider: one key, "fake-key", whose "signature" is the hash reversed. It counts the
// handles it has handed out so that tests can see the router release them.

#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>

#include <cwchar>

#include "key_storage_function_table.h"

namespace {

const wchar_t kKeyName[] = L"fake-key";
constexpr DWORD kProviderMagic = 0x46414B50;  // "FAKP"
constexpr DWORD kKeyMagic = 0x46414B4B;       // "FAKK"

struct FakeHandle {
  DWORD magic;
  wchar_t name[64];
};

LONG g_open_handles = 0;

FakeHandle* NewHandle(DWORD magic, const wchar_t* name) {
  auto* handle = static_cast<FakeHandle*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                    sizeof(FakeHandle)));
  if (handle == nullptr) return nullptr;
  handle->magic = magic;
  wcsncpy(handle->name, name, 63);
  InterlockedIncrement(&g_open_handles);
  return handle;
}

SECURITY_STATUS FreeHandle(ULONG_PTR value, DWORD magic) {
  auto* handle = reinterpret_cast<FakeHandle*>(value);
  if (handle == nullptr || handle->magic != magic) return NTE_INVALID_HANDLE;
  handle->magic = 0;
  HeapFree(GetProcessHeap(), 0, handle);
  InterlockedDecrement(&g_open_handles);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI OpenProvider(NCRYPT_PROV_HANDLE* provider, LPCWSTR name, DWORD) {
  if (provider == nullptr || name == nullptr) return NTE_INVALID_PARAMETER;
  FakeHandle* handle = NewHandle(kProviderMagic, name);
  if (handle == nullptr) return NTE_NO_MEMORY;
  *provider = reinterpret_cast<NCRYPT_PROV_HANDLE>(handle);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI FreeProvider(NCRYPT_PROV_HANDLE provider) {
  return FreeHandle(provider, kProviderMagic);
}

SECURITY_STATUS WINAPI OpenKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE* key, LPCWSTR name, DWORD,
                               DWORD) {
  if (key == nullptr || name == nullptr) return NTE_INVALID_PARAMETER;
  if (wcscmp(name, kKeyName) != 0) return NTE_BAD_KEYSET;
  FakeHandle* handle = NewHandle(kKeyMagic, name);
  if (handle == nullptr) return NTE_NO_MEMORY;
  *key = reinterpret_cast<NCRYPT_KEY_HANDLE>(handle);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI FreeKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE key) {
  return FreeHandle(key, kKeyMagic);
}

SECURITY_STATUS WINAPI FreeBuffer(PVOID buffer) {
  if (buffer != nullptr) HeapFree(GetProcessHeap(), 0, buffer);
  return ERROR_SUCCESS;
}

SECURITY_STATUS CopyOut(const void* data, DWORD size, PBYTE output, DWORD capacity,
                        DWORD* result) {
  if (result == nullptr) return NTE_INVALID_PARAMETER;
  *result = size;
  if (output == nullptr) return ERROR_SUCCESS;
  if (capacity < size) return NTE_BUFFER_TOO_SMALL;
  memcpy(output, data, size);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI GetProviderProperty(NCRYPT_PROV_HANDLE provider, LPCWSTR property,
                                           PBYTE output, DWORD capacity, DWORD* result, DWORD) {
  auto* handle = reinterpret_cast<FakeHandle*>(provider);
  if (handle == nullptr || handle->magic != kProviderMagic) return NTE_INVALID_HANDLE;
  if (property == nullptr || wcscmp(property, NCRYPT_NAME_PROPERTY) != 0) return NTE_NOT_SUPPORTED;
  return CopyOut(handle->name, static_cast<DWORD>((wcslen(handle->name) + 1) * sizeof(wchar_t)),
                 output, capacity, result);
}

SECURITY_STATUS WINAPI GetKeyProperty(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE key, LPCWSTR property,
                                      PBYTE output, DWORD capacity, DWORD* result, DWORD) {
  auto* handle = reinterpret_cast<FakeHandle*>(key);
  if (handle == nullptr || handle->magic != kKeyMagic) return NTE_INVALID_HANDLE;
  if (property == nullptr || wcscmp(property, NCRYPT_NAME_PROPERTY) != 0) return NTE_NOT_SUPPORTED;
  return CopyOut(handle->name, static_cast<DWORD>((wcslen(handle->name) + 1) * sizeof(wchar_t)),
                 output, capacity, result);
}

SECURITY_STATUS WINAPI SignHash(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE key, VOID*, PBYTE hash,
                                DWORD hashSize, PBYTE signature, DWORD capacity, DWORD* result,
                                DWORD) {
  auto* handle = reinterpret_cast<FakeHandle*>(key);
  if (handle == nullptr || handle->magic != kKeyMagic) return NTE_INVALID_HANDLE;
  if (result == nullptr || hash == nullptr) return NTE_INVALID_PARAMETER;
  *result = hashSize;
  if (signature == nullptr) return ERROR_SUCCESS;
  if (capacity < hashSize) return NTE_BUFFER_TOO_SMALL;
  for (DWORD i = 0; i < hashSize; ++i) signature[i] = hash[hashSize - 1 - i];
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI EnumKeys(NCRYPT_PROV_HANDLE, LPCWSTR, NCryptKeyName** keyName,
                                PVOID* state, DWORD) {
  if (keyName == nullptr || state == nullptr) return NTE_INVALID_PARAMETER;
  if (*state == nullptr) {
    *state = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DWORD));
    if (*state == nullptr) return NTE_NO_MEMORY;
  }
  DWORD* returned = static_cast<DWORD*>(*state);
  if (*returned > 0) return NTE_NO_MORE_ITEMS;
  size_t size = sizeof(NCryptKeyName) + sizeof(kKeyName) + sizeof(L"RSA");
  auto* record = static_cast<NCryptKeyName*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  if (record == nullptr) return NTE_NO_MEMORY;
  auto* text = reinterpret_cast<wchar_t*>(record + 1);
  memcpy(text, kKeyName, sizeof(kKeyName));
  memcpy(text + wcslen(kKeyName) + 1, L"RSA", sizeof(L"RSA"));
  record->pszName = text;
  record->pszAlgid = text + wcslen(kKeyName) + 1;
  *keyName = record;
  ++*returned;
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI IsAlgSupported(NCRYPT_PROV_HANDLE, LPCWSTR algorithm, DWORD) {
  return algorithm != nullptr && wcscmp(algorithm, L"RSA") == 0 ? ERROR_SUCCESS
                                                                 : NTE_NOT_SUPPORTED;
}

NCRYPT_KEY_STORAGE_FUNCTION_TABLE MakeTable() {
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE table{};
  table.Version.MajorVersion = 1;
  table.Version.MinorVersion = 0;
  table.OpenProvider = OpenProvider;
  table.OpenKey = OpenKey;
  table.GetProviderProperty = GetProviderProperty;
  table.GetKeyProperty = GetKeyProperty;
  table.FreeProvider = FreeProvider;
  table.FreeKey = FreeKey;
  table.FreeBuffer = FreeBuffer;
  table.IsAlgSupported = IsAlgSupported;
  table.EnumKeys = EnumKeys;
  table.SignHash = SignHash;
  return table;
}

NCRYPT_KEY_STORAGE_FUNCTION_TABLE g_table = MakeTable();

}  // namespace

extern "C" {

NTSTATUS WINAPI GetKeyStorageInterface(LPCWSTR, NCRYPT_KEY_STORAGE_FUNCTION_TABLE** table,
                                       DWORD) {
  if (table == nullptr) return NTE_INVALID_PARAMETER;
  *table = &g_table;
  return ERROR_SUCCESS;
}

// Provider and key handles handed out and not yet freed.
LONG WINAPI FakeProviderOpenHandles() { return g_open_handles; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
