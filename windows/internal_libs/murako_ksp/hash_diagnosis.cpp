#include "hash_diagnosis.h"

#include <cstdio>

#include "ksp_log.h"

namespace {

std::string DigestInfoLine(const BYTE* hash, DWORD length) {
  if (length == 51 && hash[1] == 0x31) {
    return "    Likely DigestInfo wrapping SHA-256 hash (51 bytes)";
  }
  if (length == 67 && hash[1] == 0x41) {
    return "    Likely DigestInfo wrapping SHA-384 hash (67 bytes)";
  }
  if (length == 83 && hash[1] == 0x51) {
    return "    Likely DigestInfo wrapping SHA-512 hash (83 bytes)";
  }
  return KspFormat("    Possible DigestInfo structure (starts with 0x30, total %d bytes)",
                   static_cast<int>(length));
}

}  // namespace

std::string HashHexPrefix(const BYTE* hash, DWORD length) {
  std::string text;
  DWORD shown = length < 64 ? length : 64;
  for (DWORD i = 0; i < shown; ++i) {
    char digits[4];
    snprintf(digits, sizeof(digits), "%02X ", hash[i]);
    text += digits;
  }
  return text;
}

std::vector<std::string> DiagnoseHashFormat(const BYTE* hash, DWORD length) {
  std::vector<std::string> lines;
  if (length == 32 || length == 48 || length == 64) {
    return lines;
  }
  lines.push_back(KspFormat(
      "    WARNING: Non-standard hash size %d (expected 32/48/64 for raw SHA-256/384/512)",
      static_cast<int>(length)));
  if (length == 36) {
    lines.push_back("    Likely TLS 1.0/1.1 MD5+SHA1 concatenation (16+20=36 bytes)");
  } else if (length >= 20 && hash != nullptr && hash[0] == 0x30) {
    lines.push_back(DigestInfoLine(hash, length));
  } else if (length >= 20 && hash != nullptr) {
    lines.push_back(KspFormat("    Unknown format (first byte: 0x%02X)", hash[0]));
  }
  return lines;
}
