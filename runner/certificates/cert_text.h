#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Text forms of certificate values, kept free of system calls so they can be tested directly.

// A serial number as CryptoAPI stores it (little-endian) in lower-case hex, most significant
// byte first, two digits per byte, leading zero bytes kept.
std::string FormatSerialNumber(const std::vector<uint8_t>& littleEndian);

// A FILETIME value (100 ns units since 1601, UTC) as a system-clock time point truncated to
// the whole second, held at the clock's earliest or latest time when it lies beyond them.
std::chrono::system_clock::time_point FileTimeToTimePoint(uint64_t fileTime);

// The two values a certificate description carries:
// "MurakoSignIdentityId:" + id + ";OAuthToken:" + token.
struct DescriptionFields {
  std::string signIdentityId;  // empty unless both the label and a following ";" are present
  std::string oauthToken;      // everything after the first "OAuthToken:", else empty
};
DescriptionFields ParseDescription(const std::string& description);
