#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kPssPaddingFlag = 0x8;  // BCRYPT_PAD_PSS

// What the bridge makes of the bytes a caller asks it to sign: a raw SHA-256/384/512 hash,
// either as given or taken out of a PKCS #1 v1.5 DigestInfo.
struct HashClassification {
  bool accepted = false;
  std::vector<uint8_t> raw_hash;
  std::string log_line;    // the line describing what was received, when accepted
  std::string error_text;  // the failure text, when rejected
};

HashClassification ClassifyHash(const uint8_t* hash, uint32_t length);
// Whether the bytes are a DigestInfo that the bridge takes a hash out of.
bool IsServiceDigestInfo(const uint8_t* hash, uint32_t length);

// The service's algorithm name for a raw hash length (32/48/64) and the padding flags; empty
// for any other length.
std::string SignatureAlgorithmName(size_t raw_hash_length, uint32_t padding_flags);
// Whether the service signs with PSS under this algorithm name.
bool IsPssAlgorithmName(const std::string& algorithm_name);

// "0x" + the flags in hexadecimal + " (PSS)" or " (PKCS1)".
std::string DescribePaddingFlags(uint32_t padding_flags);
