#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sign_bridge_api.h"
#include "unique_handle.h"

// Shared by the bridge tests, the end-to-end tests and the benchmarks: identities of the
// signing service double, the credential-storage entries the application would write, the
// real murako_sign_bridge.dll loaded by name, and test hashes.

struct DoubleIdentity {
  std::string id;
  std::string thumbprint;
  std::vector<uint8_t> certificate_der;
  int bits = 0;
};

DoubleIdentity IdentityOf(const nlohmann::json& accounts, const std::string& identity_id);

// "user_type_by_thumbprint_", "sign_identity_by_thumbprint_" for the thumbprint.
void StoreCertificateMapping(const std::string& thumbprint, const std::string& user_type,
                             const std::string& identity_id);
void ForgetCertificateMapping(const std::string& thumbprint);

// The access token of "ciudadano" or "profesional" as a sign-in in development leaves it, with
// the environment it was obtained in; ForgetAccessToken deletes both.
void StoreAccessToken(const std::string& user_type, const std::string& token);
void ForgetAccessToken(const std::string& user_type);

// A raw hash of `size` bytes derived from `seed`, and its PKCS #1 DigestInfo.
std::vector<uint8_t> TestDigest(size_t size, uint32_t seed);
std::vector<uint8_t> DigestInfoOf(const std::vector<uint8_t>& raw_hash);
std::string AlgorithmFor(size_t raw_hash_length, bool pss);

// murako_sign_bridge.dll loaded by bare name (the program's folder holds the real one).
class SignBridgeLibrary {
 public:
  SignBridgeLibrary();

  bool loaded() const { return sign_ != nullptr && last_error_ != nullptr && free_ != nullptr; }
  // Calls MurakoSignHashRemote; on success copies the signature and frees the bridge's buffer.
  HRESULT Sign(const std::wstring& key_name, const std::vector<uint8_t>& hash, DWORD flags,
               std::vector<uint8_t>& signature) const;
  std::string LastError() const { return last_error_(); }

  MurakoSignHashRemoteFn sign_ = nullptr;
  MurakoGetLastErrorFn last_error_ = nullptr;
  MurakoFreeSigFn free_ = nullptr;

 private:
  UniqueModule module_;
};

// Open handles and committed private bytes of this process. Counted directly rather than with
// GetProcessHandleCount and PrivateUsage, which Wine leaves at zero.
struct ProcessFootprint {
  unsigned long handles = 0;
  unsigned long long private_bytes = 0;
};
ProcessFootprint MeasureProcessFootprint();
