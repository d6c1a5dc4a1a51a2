#include "signing_road_support.h"

#include "secure_storage.h"
#include "service_double_control.h"
#include "string_conversion.h"
#include "text_encoding.h"

DoubleIdentity IdentityOf(const nlohmann::json& accounts, const std::string& identity_id) {
  DoubleIdentity identity;
  const nlohmann::json& entry = accounts["identities"][identity_id];
  identity.id = identity_id;
  identity.thumbprint = entry.value("thumbprint", "");
  identity.certificate_der =
      DecodeBase64(entry.value("certificate", "")).value_or(std::vector<uint8_t>());
  identity.bits = entry.value("bits", 0);
  return identity;
}

void StoreCertificateMapping(const std::string& thumbprint, const std::string& user_type,
                             const std::string& identity_id) {
  SecureStorage::StoreToken("user_type_by_thumbprint_" + thumbprint, user_type);
  SecureStorage::StoreToken("sign_identity_by_thumbprint_" + thumbprint, identity_id);
}

void ForgetCertificateMapping(const std::string& thumbprint) {
  SecureStorage::DeleteToken("user_type_by_thumbprint_" + thumbprint);
  SecureStorage::DeleteToken("sign_identity_by_thumbprint_" + thumbprint);
}

void StoreAccessToken(const std::string& user_type, const std::string& token) {
  SecureStorage::StoreToken("oauth_access_token_" + user_type, token);
  SecureStorage::StoreToken("oauth_token_environment_" + user_type, "desa");
}

void ForgetAccessToken(const std::string& user_type) {
  SecureStorage::DeleteToken("oauth_access_token_" + user_type);
  SecureStorage::DeleteToken("oauth_token_environment_" + user_type);
}

std::vector<uint8_t> TestDigest(size_t size, uint32_t seed) {
  std::vector<uint8_t> digest(size);
  uint32_t state = seed * 2654435761u + 12345u;
  for (uint8_t& byte : digest) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return digest;
}

std::vector<uint8_t> DigestInfoOf(const std::vector<uint8_t>& raw_hash) {
  const uint8_t second = raw_hash.size() == 32 ? 0x31 : raw_hash.size() == 48 ? 0x41 : 0x51;
  const uint8_t algorithm = raw_hash.size() == 32 ? 0x01 : raw_hash.size() == 48 ? 0x02 : 0x03;
  std::vector<uint8_t> info{0x30, second, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                            0x65, 0x03, 0x04, 0x02, algorithm, 0x05, 0x00, 0x04,
                            static_cast<uint8_t>(raw_hash.size())};
  for (uint8_t byte : raw_hash) info.push_back(byte);
  return info;
}

std::string AlgorithmFor(size_t raw_hash_length, bool pss) {
  const std::string hash = raw_hash_length == 32 ? "sha256" : raw_hash_length == 48 ? "sha384" : "sha512";
  return (pss ? "rsa-pss-mgf1-" : "rsa-") + hash;
}

SignBridgeLibrary::SignBridgeLibrary() : module_(LoadLibraryW(kSignBridgeFileName)) {
  if (!module_) return;
  HMODULE module = module_.get();
  sign_ = reinterpret_cast<MurakoSignHashRemoteFn>(GetProcAddress(module, "MurakoSignHashRemote"));
  last_error_ = reinterpret_cast<MurakoGetLastErrorFn>(GetProcAddress(module, "MurakoGetLastError"));
  free_ = reinterpret_cast<MurakoFreeSigFn>(GetProcAddress(module, "MurakoFreeSig"));
}

HRESULT SignBridgeLibrary::Sign(const std::wstring& key_name, const std::vector<uint8_t>& hash,
                                DWORD flags, std::vector<uint8_t>& signature) const {
  BYTE* buffer = nullptr;
  DWORD length = 0;
  HRESULT result = sign_(key_name.c_str(), hash.empty() ? reinterpret_cast<const BYTE*>("") : hash.data(),
                         static_cast<DWORD>(hash.size()), flags, &buffer, &length);
  if (SUCCEEDED(result) && buffer != nullptr) {
    signature.assign(buffer, buffer + length);
    free_(buffer);
  }
  return result;
}

// Every handle value that answers GetHandleInformation is open. Wine hands out the lowest free
// value, so the first 32,768 values cover any count these programs reach. The private bytes are
// the committed private regions of the address space.
ProcessFootprint MeasureProcessFootprint() {
  ProcessFootprint footprint;
  for (uintptr_t value = 4; value < (1u << 17); value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++footprint.handles;
  }
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      footprint.private_bytes += region.RegionSize;
    }
  }
  return footprint;
}
