#include "signature_service.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <optional>

#include "guarded_entry.h"
#include "hash_classification.h"
#include "logged_reason.h"
#include "logger.h"
#include "signature_check.h"
#include "text_encoding.h"
#include "unique_handle.h"

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
  const size_t shown = std::min(count, bytes.size());
  return ToLowerHex(std::vector<uint8_t>(bytes.begin(), bytes.begin() + shown));
}

ValueOrReason<std::vector<uint8_t>> HashWithCryptoApi(const std::vector<uint8_t>& data,
                                                      int algorithm) {
  UniqueCryptProvider provider;
  if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return LoggedReason(Failure("CryptAcquireContext"));
  }
  UniqueCryptHash hash;
  if (!CryptCreateHash(provider.get(), HashAlgorithmId(algorithm), 0, 0, hash.put())) {
    return LoggedReason(Failure("CryptCreateHash"));
  }
  if (!CryptHashData(hash.get(), data.data(), static_cast<DWORD>(data.size()), 0)) {
    return LoggedReason(Failure("CryptHashData"));
  }
  DWORD length = 0;
  DWORD lengthSize = sizeof(length);
  if (!CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length), &lengthSize,
                         0)) {
    return LoggedReason(Failure("CryptGetHashParam (HP_HASHSIZE)"));
  }
  std::vector<uint8_t> value(length);
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value.data(), &length, 0)) {
    return LoggedReason(Failure("CryptGetHashParam (HP_HASHVAL)"));
  }
  value.resize(length);
  return value;
}

ValueOrReason<std::vector<uint8_t>> CalculateHashUnguarded(const std::vector<uint8_t>& data,
                                                           int algorithm) {
  LogInfo("Calculating hash with algorithm: " + std::to_string(algorithm));
  LogInfo("Data size: " + std::to_string(data.size()) + " bytes");
  ValueOrReason<std::vector<uint8_t>> hash = HashWithCryptoApi(data, algorithm);
  if (!hash) return hash;
  LogInfo("Hash calculated (" + std::to_string(hash->size()) +
          " bytes): " + LowerHexPrefix(*hash, 16) + (hash->size() > 16 ? "..." : ""));
  return hash;
}

ValueOrReason<std::vector<uint8_t>> CheckedSignatureUnguarded(
    const std::vector<uint8_t>& certificate_der, const SignatureRequest& request,
    const std::vector<uint8_t>& signature) {
  UniqueCertContext certificate(CertCreateCertificateContext(
      X509_ASN_ENCODING, certificate_der.data(), static_cast<DWORD>(certificate_der.size())));
  if (!certificate) return LoggedReason(Failure("CertCreateCertificateContext"));
  std::optional<std::vector<uint8_t>> raw_hash = DecodeBase64(request.digest_value);
  if (!raw_hash) return LoggedReason("Signature request carries no hash to check against");
  const RemoteSignatureRequest checked_request = RemoteRequestForRawHash(
      std::move(*raw_hash), IsPssAlgorithmName(request.signature_algorithm));
  const DWORD key_bytes = CertificateModulusBytes(certificate.get());
  const std::vector<uint8_t> padded =
      SignatureOfKeyLength(signature.data(), static_cast<DWORD>(signature.size()), key_bytes);
  if (padded.empty()) {
    return LoggedReason("Signature refused: " + std::to_string(signature.size()) +
                        " bytes, the certificate's key " + std::to_string(key_bytes));
  }
  const std::string refusal = SignatureRefusal(certificate.get(), checked_request, padded.data(),
                                               static_cast<DWORD>(padded.size()));
  if (!refusal.empty()) return LoggedReason("Signature refused: " + refusal);
  if (padded.size() != signature.size()) {
    LogInfo("Signature of " + std::to_string(signature.size()) + " bytes padded to the key's " +
            std::to_string(padded.size()));
  }
  return padded;
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

ValueOrReason<std::vector<uint8_t>> SignatureService::CalculateHash(
    const std::vector<uint8_t>& data, int algorithm) const {
  return GuardEntry(
      [&] { return CalculateHashUnguarded(data, algorithm); },
      [](const CaughtFailure&) { return LoggedReason("Exception in CalculateHash"); });
}

ValueOrReason<SignatureRequest> SignatureService::PrepareSignatureRequest(
    const std::vector<uint8_t>& data, const std::string& signIdentityId,
    const std::string& algorithmName) const {
  return GuardEntry(
      [&]() -> ValueOrReason<SignatureRequest> {
        LogInfo("Preparing signature request");
        LogInfo("Sign identity ID: " + signIdentityId);
        LogInfo("Algorithm: " + algorithmName);
        const ValueOrReason<std::vector<uint8_t>> hash =
            CalculateHashUnguarded(data, HashAlgorithmFromName(algorithmName));
        if (!hash) {
          LogError("Failed to calculate hash");
          return Reason{hash.reason()};
        }
        std::string digest = EncodeBase64(*hash);
        LogInfo("Digest value (Base64): " + digest.substr(0, 32) + "...");
        SignatureRequest request;
        request.sign_identity_id = signIdentityId;
        request.digest_value = digest;
        request.signature_algorithm = algorithmName;
        LogInfo("Signature request prepared successfully");
        return request;
      },
      [](const CaughtFailure&) { return LoggedReason("Exception in PrepareSignatureRequest"); });
}

ValueOrReason<std::vector<uint8_t>> SignatureService::CheckedSignature(
    const std::vector<uint8_t>& certificate_der, const SignatureRequest& request,
    const std::vector<uint8_t>& signature) const {
  return GuardEntry(
      [&] { return CheckedSignatureUnguarded(certificate_der, request, signature); },
      [](const CaughtFailure&) { return LoggedReason("Exception in CheckedSignature"); });
}
