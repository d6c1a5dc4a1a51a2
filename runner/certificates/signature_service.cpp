#include "signature_service.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

#include "cert_handles.h"
#include "logger.h"
#include "text_encoding.h"

namespace {

ALG_ID HashAlgorithmId(int algorithm) {
  switch (algorithm) {
    case 1: return CALG_SHA_384;
    case 2: return CALG_SHA_512;
    default: return CALG_SHA_256;
  }
}

// Reads the system error code before anything else can replace it.
std::string Failure(const char* call) {
  DWORD code = GetLastError();
  return std::string(call) + " failed with error: " + std::to_string(code);
}

// The first `count` bytes in lower-case hex.
std::string LowerHexPrefix(const std::vector<uint8_t>& bytes, size_t count) {
  return ToLowerHex(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min(count, bytes.size())));
}

std::optional<std::vector<uint8_t>> HashWithCryptoApi(const std::vector<uint8_t>& data,
                                                      int algorithm) {
  UniqueCryptProvider provider;
  if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    LogError(Failure("CryptAcquireContext"));
    return std::nullopt;
  }
  UniqueCryptHash hash;
  if (!CryptCreateHash(provider.get(), HashAlgorithmId(algorithm), 0, 0, hash.put())) {
    LogError(Failure("CryptCreateHash"));
    return std::nullopt;
  }
  if (!CryptHashData(hash.get(), data.data(), static_cast<DWORD>(data.size()), 0)) {
    LogError(Failure("CryptHashData"));
    return std::nullopt;
  }
  DWORD length = 0;
  DWORD lengthSize = sizeof(length);
  if (!CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length), &lengthSize,
                         0)) {
    LogError(Failure("CryptGetHashParam (HP_HASHSIZE)"));
    return std::nullopt;
  }
  std::vector<uint8_t> value(length);
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value.data(), &length, 0)) {
    LogError(Failure("CryptGetHashParam (HP_HASHVAL)"));
    return std::nullopt;
  }
  value.resize(length);
  return value;
}

}  // namespace

SignatureService::SignatureService() { LogInfo("SignatureService initialized"); }

int SignatureService::HashAlgorithmFromName(const std::string& algorithmName) {
  if (algorithmName.size() < 6) return 0;
  static const struct {
    const char* text;
    int algorithm;
  } kNames[] = {{"sha256", 0}, {"SHA256", 0}, {"sha384", 1},
                {"SHA384", 1}, {"sha512", 2}, {"SHA512", 2}};
  for (const auto& entry : kNames) {
    if (algorithmName.find(entry.text) != std::string::npos) return entry.algorithm;
  }
  return 0;
}

std::optional<std::vector<uint8_t>> SignatureService::CalculateHash(
    const std::vector<uint8_t>& data, int algorithm) const {
  try {
    LogInfo("Calculating hash with algorithm: " + std::to_string(algorithm));
    LogInfo("Data size: " + std::to_string(data.size()) + " bytes");
    std::optional<std::vector<uint8_t>> hash = HashWithCryptoApi(data, algorithm);
    if (!hash) return std::nullopt;
    LogInfo("Hash calculated (" + std::to_string(hash->size()) +
            " bytes): " + LowerHexPrefix(*hash, 16) + (hash->size() > 16 ? "..." : ""));
    return hash;
  } catch (...) {
    LogError("Exception in CalculateHash");
    return std::nullopt;
  }
}

std::optional<SignatureRequest> SignatureService::PrepareSignatureRequest(
    const std::vector<uint8_t>& data, const std::string& signIdentityId,
    const std::string& algorithmName) const {
  try {
    LogInfo("Preparing signature request");
    LogInfo("Sign identity ID: " + signIdentityId);
    LogInfo("Algorithm: " + algorithmName);
    std::optional<std::vector<uint8_t>> hash =
        CalculateHash(data, HashAlgorithmFromName(algorithmName));
    if (!hash) {
      LogError("Failed to calculate hash");
      return std::nullopt;
    }
    std::string digest = EncodeBase64(*hash);
    LogInfo("Digest value (Base64): " + digest.substr(0, 32) + "...");
    SignatureRequest request;
    request.sign_identity_id = signIdentityId;
    request.digest_value = digest;
    request.signature_algorithm = algorithmName;
    LogInfo("Signature request prepared successfully");
    return request;
  } catch (...) {
    LogError("Exception in PrepareSignatureRequest");
    return std::nullopt;
  }
}
