// Stand-in for the provider-configuration part of Windows' bcrypt.dll: registers, associates,
// lists and removes CNG providers in the same registry layout Windows uses, with Windows'
// status codes. It has none of bcrypt's cryptography, so it is loaded only into processes that
// need no bcrypt crypto (started from a folder that holds it, or with a DLL override).

#include <windows.h>
#include <bcrypt.h>

#include <new>
#include <string>
#include <vector>

#include "bcrypt_provider_registration.h"
#include "cng_registry_layout.h"

namespace {

using namespace cng_registry;

constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kUnsuccessful = static_cast<NTSTATUS>(0xC0000001);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017);
constexpr NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS kNotFound = static_cast<NTSTATUS>(0xC0000225);

NTSTATUS FromRegistryStatus(LONG status) {
  switch (status) {
    case ERROR_SUCCESS: return kSuccess;
    case ERROR_ACCESS_DENIED: return kAccessDenied;
    case ERROR_FILE_NOT_FOUND: return kNotFound;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return kNoMemory;
    default: return kUnsuccessful;
  }
}

class Key {
 public:
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  LONG Create(HKEY parent, const std::wstring& path) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE | KEY_READ, nullptr, &key_, nullptr);
  }
  LONG Open(HKEY parent, const std::wstring& path, REGSAM access) {
    return RegOpenKeyExW(parent, path.c_str(), 0, access, &key_);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::wstring ProviderPath(const wchar_t* provider) {
  return std::wstring(kProvidersPath) + L"\\" + provider;
}

std::wstring InterfacePath(const wchar_t* context, ULONG interfaceId) {
  return std::wstring(kLocalConfigurationPath) + L"\\" +
         (context != nullptr && *context != L'\0' ? context : kDefaultContext) + L"\\" +
         InterfaceKeyName(interfaceId);
}

bool ValidTable(ULONG table) { return table == CRYPT_LOCAL; }

LONG WriteImage(HKEY provider, const wchar_t* branch, const CRYPT_IMAGE_REG* image) {
  Key branchKey;
  LONG status = branchKey.Create(provider, branch);
  if (status != ERROR_SUCCESS) return status;
  if (image->pszImage != nullptr) {
    status = RegSetValueExW(branchKey.get(), L"Image", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(image->pszImage),
                            static_cast<DWORD>((wcslen(image->pszImage) + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) return status;
  }
  for (ULONG i = 0; i < image->cInterfaces; ++i) {
    const CRYPT_INTERFACE_REG* entry = image->rgpInterfaces[i];
    std::vector<std::wstring> functions;
    for (ULONG f = 0; f < entry->cFunctions; ++f) functions.push_back(entry->rgpszFunctions[f]);
    std::wstring interfacePath = InterfaceKeyName(entry->dwInterface);
    status = WriteMultiString(branchKey.get(), interfacePath, L"Functions", functions);
    if (status != ERROR_SUCCESS) return status;
    Key interfaceKey;
    status = interfaceKey.Open(branchKey.get(), interfacePath, KEY_WRITE);
    if (status != ERROR_SUCCESS) return status;
    DWORD flags = entry->dwFlags;
    status = RegSetValueExW(interfaceKey.get(), L"Flags", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&flags), sizeof(flags));
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

NTSTATUS RegisterProvider(const wchar_t* provider, ULONG flags, const CRYPT_PROVIDER_REG* reg) {
  if (provider == nullptr || *provider == L'\0' || reg == nullptr) return kInvalidParameter;
  std::wstring path = ProviderPath(provider);
  if (KeyExists(HKEY_LOCAL_MACHINE, path) && !(flags & CRYPT_OVERWRITE)) return kNameCollision;
  Key providerKey;
  LONG status = providerKey.Create(HKEY_LOCAL_MACHINE, path);
  if (status == ERROR_SUCCESS && reg->cAliases > 0) {
    std::vector<std::wstring> aliases(reg->rgpszAliases, reg->rgpszAliases + reg->cAliases);
    status = WriteMultiString(providerKey.get(), L"", L"Aliases", aliases);
  }
  if (status == ERROR_SUCCESS && reg->pUM != nullptr) {
    status = WriteImage(providerKey.get(), L"UM", reg->pUM);
  }
  if (status == ERROR_SUCCESS && reg->pKM != nullptr) {
    status = WriteImage(providerKey.get(), L"KM", reg->pKM);
  }
  return FromRegistryStatus(status);
}

NTSTATUS UnregisterProvider(const wchar_t* provider) {
  if (provider == nullptr || *provider == L'\0') return kInvalidParameter;
  Key providers;
  LONG status = providers.Open(HKEY_LOCAL_MACHINE, kProvidersPath, KEY_READ | KEY_WRITE);
  if (status != ERROR_SUCCESS) return FromRegistryStatus(status);
  return FromRegistryStatus(RegDeleteTreeW(providers.get(), provider));
}

// The ordered function list of an interface lives in its "Functions" value; each function
// also has its own key holding its "Providers" list.
NTSTATUS AddContextFunction(ULONG table, const wchar_t* context, ULONG interfaceId,
                            const wchar_t* function, ULONG position) {
  if (!ValidTable(table)) return table == CRYPT_DOMAIN ? kNotSupported : kInvalidParameter;
  if (function == nullptr || *function == L'\0') return kInvalidParameter;
  std::wstring interfacePath = InterfacePath(context, interfaceId);
  std::vector<std::wstring> functions;
  ReadMultiString(HKEY_LOCAL_MACHINE, interfacePath, L"Functions", functions);
  if (ContainsIgnoringCase(functions, function)) return kNameCollision;
  Key functionKey;
  LONG status = functionKey.Create(HKEY_LOCAL_MACHINE, interfacePath + L"\\" + function);
  if (status == ERROR_SUCCESS) {
    status = WriteMultiString(HKEY_LOCAL_MACHINE, interfacePath, L"Functions",
                              InsertAt(functions, function, position));
  }
  return FromRegistryStatus(status);
}

NTSTATUS RemoveContextFunction(ULONG table, const wchar_t* context, ULONG interfaceId,
                               const wchar_t* function) {
  if (!ValidTable(table)) return table == CRYPT_DOMAIN ? kNotSupported : kInvalidParameter;
  if (function == nullptr || *function == L'\0') return kInvalidParameter;
  std::wstring interfacePath = InterfacePath(context, interfaceId);
  std::vector<std::wstring> functions;
  ReadMultiString(HKEY_LOCAL_MACHINE, interfacePath, L"Functions", functions);
  if (!ContainsIgnoringCase(functions, function)) return kNotFound;
  LONG status = WriteMultiString(HKEY_LOCAL_MACHINE, interfacePath, L"Functions",
                                 RemoveIgnoringCase(functions, function));
  if (status == ERROR_SUCCESS) {
    status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, (interfacePath + L"\\" + function).c_str());
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  }
  return FromRegistryStatus(status);
}

NTSTATUS AddContextFunctionProvider(ULONG table, const wchar_t* context, ULONG interfaceId,
                                    const wchar_t* function, const wchar_t* provider,
                                    ULONG position) {
  if (!ValidTable(table)) return table == CRYPT_DOMAIN ? kNotSupported : kInvalidParameter;
  if (function == nullptr || provider == nullptr || *provider == L'\0') return kInvalidParameter;
  std::wstring functionPath = InterfacePath(context, interfaceId) + L"\\" + function;
  if (!KeyExists(HKEY_LOCAL_MACHINE, functionPath)) return kNotFound;
  std::vector<std::wstring> providers;
  ReadMultiString(HKEY_LOCAL_MACHINE, functionPath, L"Providers", providers);
  if (ContainsIgnoringCase(providers, provider)) return kNameCollision;
  return FromRegistryStatus(WriteMultiString(HKEY_LOCAL_MACHINE, functionPath, L"Providers",
                                             InsertAt(providers, provider, position)));
}

NTSTATUS RemoveContextFunctionProvider(ULONG table, const wchar_t* context, ULONG interfaceId,
                                       const wchar_t* function, const wchar_t* provider) {
  if (!ValidTable(table)) return table == CRYPT_DOMAIN ? kNotSupported : kInvalidParameter;
  if (function == nullptr || provider == nullptr) return kInvalidParameter;
  std::wstring functionPath = InterfacePath(context, interfaceId) + L"\\" + function;
  std::vector<std::wstring> providers;
  if (!ReadMultiString(HKEY_LOCAL_MACHINE, functionPath, L"Providers", providers) ||
      !ContainsIgnoringCase(providers, provider)) {
    return kNotFound;
  }
  return FromRegistryStatus(WriteMultiString(HKEY_LOCAL_MACHINE, functionPath, L"Providers",
                                             RemoveIgnoringCase(providers, provider)));
}

std::vector<std::wstring> RegisteredProviderNames() {
  std::vector<std::wstring> names;
  Key providers;
  if (providers.Open(HKEY_LOCAL_MACHINE, kProvidersPath, KEY_READ) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    LONG status = RegEnumKeyExW(providers.get(), index, name, &length, nullptr, nullptr, nullptr,
                                nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  return names;
}

// One block: the CRYPT_PROVIDERS header, the pointer array, then the names.
NTSTATUS EnumRegisteredProviders(ULONG* size, CRYPT_PROVIDERS** buffer) {
  if (size == nullptr || buffer == nullptr) return kInvalidParameter;
  std::vector<std::wstring> names = RegisteredProviderNames();
  size_t needed = sizeof(CRYPT_PROVIDERS) + names.size() * sizeof(PWSTR);
  for (const std::wstring& name : names) needed += (name.size() + 1) * sizeof(wchar_t);

  BYTE* block = reinterpret_cast<BYTE*>(*buffer);
  if (block != nullptr && *size < needed) {
    *size = static_cast<ULONG>(needed);
    return kBufferTooSmall;
  }
  if (block == nullptr) {
    block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (block == nullptr) return kNoMemory;
  }
  auto* providers = reinterpret_cast<CRYPT_PROVIDERS*>(block);
  auto* pointers = reinterpret_cast<PWSTR*>(block + sizeof(CRYPT_PROVIDERS));
  auto* text = reinterpret_cast<wchar_t*>(block + sizeof(CRYPT_PROVIDERS) +
                                          names.size() * sizeof(PWSTR));
  providers->cProviders = static_cast<ULONG>(names.size());
  providers->rgpszProviders = pointers;
  for (size_t i = 0; i < names.size(); ++i) {
    pointers[i] = text;
    memcpy(text, names[i].c_str(), (names[i].size() + 1) * sizeof(wchar_t));
    text += names[i].size() + 1;
  }
  *buffer = providers;
  *size = static_cast<ULONG>(needed);
  return kSuccess;
}

template <typename Operation>
NTSTATUS Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (...) {
    return kUnsuccessful;
  }
}

}  // namespace

extern "C" {

NTSTATUS WINAPI BCryptRegisterProvider(LPCWSTR pszProvider, ULONG dwFlags,
                                       PCRYPT_PROVIDER_REG pReg) {
  return Guarded([&] { return RegisterProvider(pszProvider, dwFlags, pReg); });
}

NTSTATUS WINAPI BCryptUnregisterProvider(LPCWSTR pszProvider) {
  return Guarded([&] { return UnregisterProvider(pszProvider); });
}

NTSTATUS WINAPI BCryptAddContextFunction(ULONG dwTable, LPCWSTR pszContext, ULONG dwInterface,
                                         LPCWSTR pszFunction, ULONG dwPosition) {
  return Guarded(
      [&] { return AddContextFunction(dwTable, pszContext, dwInterface, pszFunction, dwPosition); });
}

NTSTATUS WINAPI BCryptRemoveContextFunction(ULONG dwTable, LPCWSTR pszContext, ULONG dwInterface,
                                            LPCWSTR pszFunction) {
  return Guarded(
      [&] { return RemoveContextFunction(dwTable, pszContext, dwInterface, pszFunction); });
}

NTSTATUS WINAPI BCryptAddContextFunctionProvider(ULONG dwTable, LPCWSTR pszContext,
                                                 ULONG dwInterface, LPCWSTR pszFunction,
                                                 LPCWSTR pszProvider, ULONG dwPosition) {
  return Guarded([&] {
    return AddContextFunctionProvider(dwTable, pszContext, dwInterface, pszFunction, pszProvider,
                                      dwPosition);
  });
}

NTSTATUS WINAPI BCryptRemoveContextFunctionProvider(ULONG dwTable, LPCWSTR pszContext,
                                                    ULONG dwInterface, LPCWSTR pszFunction,
                                                    LPCWSTR pszProvider) {
  return Guarded([&] {
    return RemoveContextFunctionProvider(dwTable, pszContext, dwInterface, pszFunction,
                                         pszProvider);
  });
}

NTSTATUS WINAPI BCryptEnumRegisteredProviders(ULONG* pcbBuffer, PCRYPT_PROVIDERS* ppBuffer) {
  return Guarded([&] { return EnumRegisteredProviders(pcbBuffer, ppBuffer); });
}

VOID WINAPI BCryptFreeBuffer(PVOID pvBuffer) {
  if (pvBuffer != nullptr) HeapFree(GetProcessHeap(), 0, pvBuffer);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
