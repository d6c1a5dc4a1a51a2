#pragma once

#include "provider_name.h"

// The CNG provider key in which the application's status checks find the provider: under
// HKEY_LOCAL_MACHINE once the provider is registered for the machine (the application's own
// system-wide registration, the installer and the configuration tool write it; the
// application's and the tool's unregistrations and the uninstall remove it), under
// HKEY_CURRENT_USER after the application's user-level one.
// Its value "Image" holds the provider's image path.
constexpr wchar_t kCngProviderKeyPath[] =
    L"SOFTWARE\\Microsoft\\Cryptography\\CNG\\KeyStorageProviders\\" MURAKO_PROVIDER_NAME;
#define MURAKO_PROVIDER_IMAGE L"murako_ksp.dll"
constexpr wchar_t kProviderImageName[] = MURAKO_PROVIDER_IMAGE;
constexpr wchar_t kProviderImagePath[] = L"C:\\Windows\\System32\\" MURAKO_PROVIDER_IMAGE;
