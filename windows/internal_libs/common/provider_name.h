#pragma once

// The name of the system's CNG key storage provider: what it answers for its "Name" property,
// what it is registered under, what installed certificates name as their key's provider, and the
// folder of the service accounts' debug logs.
#define MURAKO_PROVIDER_NAME "Murako KSP"

constexpr char kMurakoProviderNameUtf8[] = MURAKO_PROVIDER_NAME;
constexpr wchar_t kMurakoProviderName[] = L"" MURAKO_PROVIDER_NAME;
