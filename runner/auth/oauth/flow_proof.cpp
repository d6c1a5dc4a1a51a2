#include "flow_proof.h"

#include <windows.h>
#include <bcrypt.h>

#include "text_encoding.h"
#include "unique_handle.h"

namespace {

constexpr size_t kStateBytes = 16;
constexpr size_t kVerifierBytes = 32;
constexpr ULONG kSha256Bytes = 32;

std::optional<std::vector<uint8_t>> RandomBytes(size_t count) {
  std::vector<uint8_t> bytes(count);
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::vector<uint8_t>> Sha256(const std::string& text) {
  UniqueAlgorithmProvider algorithm;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM,
                                                  nullptr, 0))) {
    return std::nullopt;
  }
  UniqueHash hash;
  std::vector<uint8_t> digest(kSha256Bytes);
  std::vector<uint8_t> input(text.begin(), text.end());
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0)) ||
      !BCRYPT_SUCCESS(BCryptHashData(hash.get(), input.data(), static_cast<ULONG>(input.size()),
                                     0)) ||
      !BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest.data(), kSha256Bytes, 0))) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace

std::string Base64UrlWithoutPadding(const std::vector<uint8_t>& bytes) {
  std::string text = EncodeBase64(bytes);
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}

std::optional<std::string> S256CodeChallenge(const std::string& code_verifier) {
  const std::optional<std::vector<uint8_t>> digest = Sha256(code_verifier);
  if (!digest) return std::nullopt;
  return Base64UrlWithoutPadding(*digest);
}

std::optional<AuthorizationRequestProof> NewAuthorizationRequestProof() {
  const std::optional<std::vector<uint8_t>> state = RandomBytes(kStateBytes);
  const std::optional<std::vector<uint8_t>> verifier = RandomBytes(kVerifierBytes);
  if (!state || !verifier) return std::nullopt;
  AuthorizationRequestProof proof;
  proof.state = Base64UrlWithoutPadding(*state);
  proof.code_verifier = Base64UrlWithoutPadding(*verifier);
  const std::optional<std::string> challenge = S256CodeChallenge(proof.code_verifier);
  if (!challenge) return std::nullopt;
  proof.code_challenge = *challenge;
  return proof;
}
