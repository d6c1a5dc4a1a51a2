#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One remote signature: classifies the hash, finds the certificate's account, sign identity
// and token, and has the service sign the raw hash. S_OK fills `signature`; any failure has
// been recorded as the thread's last error. An exception travels to the export, which records
// it.
HRESULT SignHashRemotely(const std::string& thumbprint, const uint8_t* hash, uint32_t hash_length,
                         uint32_t padding_flags, std::vector<uint8_t>& signature);

// The key name as the bridge uses it: each UTF-16 unit taken as one byte (the name is ASCII).
std::string KeyNameToNarrow(const wchar_t* key_name);
