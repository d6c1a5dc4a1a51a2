#pragma once

#include <windows.h>

// Registration of the Murako KSP provider by writing the registry directly. Each function
// logs its progress and returns true when registered (or removed); nothing throws.

// The HKLM Providers tree that CNG reads (needs administrator rights).
bool RegisterMurakoKsp();
// The CNG provider key in HKCU.
bool RegisterMurakoKspHKCU();
// The Providers tree, then the CNG provider key in HKLM.
bool RegisterMurakoKspHKLM();
// Deletes the HKLM Providers tree and the HKLM CNG provider key the status checks read; true
// when both are gone, also when they never existed.
bool UnregisterMurakoKsp();
bool IsKspRegisteredHKCU();
bool IsKspRegisteredHKLM();

// The same operations below an explicit root key (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER in
// the functions above), so that a caller can direct them at another key, for example a key
// opened without write access.
namespace ksp_registration {
bool RegisterProviderTree(HKEY machineRoot);
bool RegisterCngProviderKey(HKEY root, const char* logPrefix, const char* hiveName);
bool RegisterSystemWide(HKEY machineRoot);
bool UnregisterProviderTree(HKEY machineRoot);
bool IsCngProviderKeyPresent(HKEY root);
}  // namespace ksp_registration
