#pragma once

// The signing road as an application meets it: a certificate of the service double installed
// in the personal store bound to "Murako KSP", the provider murako_ksp.dll loaded the way CNG
// loads it, and its SignHash slot, which loads the real signing bridge of the program folder.

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "key_storage_function_table.h"
#include "unique_handle.h"

bool InstallProviderCertificate(const std::vector<BYTE>& der, const std::wstring& thumbprint);
bool RemoveProviderCertificate(const std::vector<BYTE>& der);

class ProviderRoad {
 public:
  ProviderRoad();  // loads murako_ksp.dll and opens the provider
  ~ProviderRoad();
  ProviderRoad(const ProviderRoad&) = delete;
  ProviderRoad& operator=(const ProviderRoad&) = delete;

  bool ready() const { return table_ != nullptr && provider_ != 0; }
  // The function table and the open provider handle, for callers that drive the slots
  // themselves.
  const NCRYPT_KEY_STORAGE_FUNCTION_TABLE& table() const { return *table_; }
  NCRYPT_PROV_HANDLE provider() const { return provider_; }
  // Opens the key, signs with PKCS #1 or PSS padding information naming the hash algorithm,
  // frees the key. The signature is sized by the provider's size query.
  SECURITY_STATUS Sign(const std::wstring& thumbprint, const std::vector<BYTE>& hash,
                       size_t raw_hash_length, bool pss, std::vector<BYTE>& signature) const;

 private:
  UniqueModule module_;  // declared first: unloaded after the provider handle is freed
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table_ = nullptr;
  NCRYPT_PROV_HANDLE provider_ = 0;
};
