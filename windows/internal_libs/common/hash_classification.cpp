#include "hash_classification.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kPrefixLength = 19;

struct DigestInfoForm {
  size_t total_length;
  uint8_t prefix[kPrefixLength];
};

// DER prefixes of the DigestInfo of PKCS #1 v1.5 (RFC 8017, section 9.2).
constexpr DigestInfoForm kDigestInfoForms[] = {
    {51, {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
          0x01, 0x05, 0x00, 0x04, 0x20}},
    {67, {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
          0x02, 0x05, 0x00, 0x04, 0x30}},
    {83, {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02,
          0x03, 0x05, 0x00, 0x04, 0x40}},
};

bool IsRawHashLength(size_t length) { return length == 32 || length == 48 || length == 64; }

}  // namespace

HashClassification ClassifyHash(const uint8_t* hash, uint32_t length) {
  HashClassification result;
  if (hash != nullptr && IsRawHashLength(length)) {
    result.accepted = true;
    result.raw_hash.assign(hash, hash + length);
    result.log_line = "Received raw hash (" + std::to_string(length) + " bytes)";
    return result;
  }
  if (length == 36) {
    result.error_text =
        "TLS 1.0/1.1 MD5+SHA1 concatenation (36 bytes) not supported by HSM. Upgrade to TLS "
        "1.2+ which uses raw SHA-256/384/512 hashes.";
    return result;
  }
  for (const DigestInfoForm& form : kDigestInfoForms) {
    if (hash == nullptr || length != form.total_length) continue;
    if (std::memcmp(hash, form.prefix, kPrefixLength) != 0) break;
    result.accepted = true;
    result.raw_hash.assign(hash + kPrefixLength, hash + length);
    result.log_line = "DigestInfo detected (" + std::to_string(length) +
                      " bytes total), extracted " + std::to_string(result.raw_hash.size()) +
                      "-byte raw hash";
    return result;
  }
  result.error_text = "Unrecognized hash format: " + std::to_string(length) +
                      " bytes. Expected raw hash (32/48/64) or DigestInfo ASN.1 (51/67/83).";
  return result;
}

bool IsServiceDigestInfo(const uint8_t* hash, uint32_t length) {
  const HashClassification classified = ClassifyHash(hash, length);
  return classified.accepted && classified.raw_hash.size() < length;
}

namespace {
constexpr char kPssAlgorithmPrefix[] = "rsa-pss-mgf1-";
}  // namespace

std::string SignatureAlgorithmName(size_t raw_hash_length, uint32_t padding_flags) {
  const bool pss = (padding_flags & kPssPaddingFlag) != 0;
  const char* hash_name = raw_hash_length == 32   ? "sha256"
                          : raw_hash_length == 48 ? "sha384"
                          : raw_hash_length == 64 ? "sha512"
                                                  : nullptr;
  if (hash_name == nullptr) return {};
  return std::string(pss ? kPssAlgorithmPrefix : "rsa-") + hash_name;
}

bool IsPssAlgorithmName(const std::string& algorithm_name) {
  return algorithm_name.rfind(kPssAlgorithmPrefix, 0) == 0;
}

std::string DescribePaddingFlags(uint32_t padding_flags) {
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%X", static_cast<unsigned>(padding_flags));
  return std::string("0x") + digits +
         ((padding_flags & kPssPaddingFlag) != 0 ? " (PSS)" : " (PKCS1)");
}
