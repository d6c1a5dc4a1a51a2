#include "ksp_registration.h"

#include <string>

#include "cng_provider_key.h"
#include "logger.h"
#include "registry_key.h"

namespace {

const wchar_t kProvidersPath[] = L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers";
const wchar_t kKeyStorageInterface[] = L"00010001";
const wchar_t kKeyStorageFunction[] = L"KEY_STORAGE";
constexpr DWORD kInterfaceType = 1;
constexpr DWORD kInterfaceFlags = 1;

bool Failed(LONG status, const std::string& message) {
  if (status == ERROR_SUCCESS) return false;
  LogError(message + std::to_string(status));
  return true;
}

bool WriteInterfaceValues(const RegistryKey& key) {
  const char* prefix = "RegisterMurakoKsp: ";
  if (Failed(key.SetString(L"Image", kProviderImagePath),
             std::string(prefix) + "Failed to set interface Image value: ") ||
      Failed(key.SetDword(L"Type", kInterfaceType),
             std::string(prefix) + "Failed to set Type value: ") ||
      Failed(key.SetDword(L"Flags", kInterfaceFlags),
             std::string(prefix) + "Failed to set Flags value: ") ||
      Failed(key.SetSingleMultiString(L"Functions", kKeyStorageFunction),
             std::string(prefix) + "Failed to set Functions value: ")) {
    return false;
  }
  return true;
}

bool RemoveProvidersEntry(HKEY machineRoot) {
  RegistryKey providers;
  LONG status = RegOpenKeyExW(machineRoot, kProvidersPath, 0, KEY_WRITE | KEY_READ,
                              providers.put());
  // Without a Providers key no provider is registered: there is nothing to remove.
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (Failed(status, "UnregisterMurakoKsp: Failed to open Providers key: ")) return false;
  status = RegDeleteTreeW(providers.get(), kMurakoProviderName);
  return status == ERROR_FILE_NOT_FOUND ||
         !Failed(status, "UnregisterMurakoKsp: Failed to delete provider tree: ");
}

// The status checks read the CNG provider key that the system-wide registration writes: left
// behind, it would show a provider CNG no longer knows as registered and ready.
bool RemoveCngProviderKey(HKEY machineRoot) {
  const LONG status = RegDeleteTreeW(machineRoot, kCngProviderKeyPath);
  return status == ERROR_FILE_NOT_FOUND ||
         !Failed(status, "UnregisterMurakoKsp: Failed to delete CNG key: ");
}

}  // namespace

namespace ksp_registration {

bool RegisterProviderTree(HKEY machineRoot) {
  LogInfo("RegisterMurakoKsp: Starting registration...");
  RegistryKey provider;
  if (Failed(provider.Create(machineRoot, std::wstring(kProvidersPath) + L"\\" + kMurakoProviderName),
             "RegisterMurakoKsp: Failed to create provider key: ")) {
    return false;
  }
  LogInfo("RegisterMurakoKsp: Provider key created");
  RegistryKey userMode;
  if (Failed(userMode.Create(provider.get(), L"UM"),
             "RegisterMurakoKsp: Failed to create UM key: ") ||
      Failed(userMode.SetString(L"Image", kProviderImageName),
             "RegisterMurakoKsp: Failed to set UM Image value: ")) {
    return false;
  }
  LogInfo("RegisterMurakoKsp: UM key configured");
  RegistryKey keyStorage;
  if (Failed(keyStorage.Create(userMode.get(), kKeyStorageInterface),
             "RegisterMurakoKsp: Failed to create interface key: ") ||
      !WriteInterfaceValues(keyStorage)) {
    return false;
  }
  LogInfo("RegisterMurakoKsp: KSP registered successfully!");
  return true;
}

bool RegisterCngProviderKey(HKEY root, const char* logPrefix, const char* hiveName) {
  RegistryKey key;
  if (Failed(key.Create(root, kCngProviderKeyPath),
             std::string(logPrefix) + "Failed to create CNG key in " + hiveName + ": ") ||
      Failed(key.SetString(L"Image", kProviderImagePath),
             std::string(logPrefix) + "Failed to set Image value in CNG: ")) {
    return false;
  }
  return true;
}

bool RegisterSystemWide(HKEY machineRoot) {
  LogInfo("RegisterMurakoKspHKLM: Starting HKLM registration (requires admin)...");
  if (!RegisterProviderTree(machineRoot)) {
    LogError("RegisterMurakoKspHKLM: Failed to register in HKLM\\SYSTEM");
    return false;
  }
  if (!RegisterCngProviderKey(machineRoot, "RegisterMurakoKspHKLM: ", "HKLM")) return false;
  LogInfo("RegisterMurakoKspHKLM: KSP registered in HKLM (CNG) successfully!");
  return true;
}

bool UnregisterProviderTree(HKEY machineRoot) {
  LogInfo("UnregisterMurakoKsp: Starting unregistration...");
  if (!RemoveProvidersEntry(machineRoot) || !RemoveCngProviderKey(machineRoot)) return false;
  LogInfo("UnregisterMurakoKsp: KSP unregistered successfully!");
  return true;
}

bool IsCngProviderKeyPresent(HKEY root) {
  RegistryKey key;
  return RegOpenKeyExW(root, kCngProviderKeyPath, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

}  // namespace ksp_registration

bool RegisterMurakoKsp() { return ksp_registration::RegisterProviderTree(HKEY_LOCAL_MACHINE); }

bool RegisterMurakoKspHKCU() {
  LogInfo("RegisterMurakoKspHKCU: Starting HKCU registration...");
  if (!ksp_registration::RegisterCngProviderKey(HKEY_CURRENT_USER, "RegisterMurakoKspHKCU: ",
                                                "HKCU")) {
    return false;
  }
  LogInfo("RegisterMurakoKspHKCU: KSP registered in HKCU (CNG) successfully!");
  return true;
}

bool RegisterMurakoKspHKLM() { return ksp_registration::RegisterSystemWide(HKEY_LOCAL_MACHINE); }

bool UnregisterMurakoKsp() { return ksp_registration::UnregisterProviderTree(HKEY_LOCAL_MACHINE); }

bool IsKspRegisteredHKCU() { return ksp_registration::IsCngProviderKeyPresent(HKEY_CURRENT_USER); }

bool IsKspRegisteredHKLM() {
  return ksp_registration::IsCngProviderKeyPresent(HKEY_LOCAL_MACHINE);
}
