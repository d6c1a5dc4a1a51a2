#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What the certificate parser extracts from one X.509 certificate.
struct CertificateInfo {
  std::string subjectCn;
  std::string subjectDn;
  std::string issuerCn;
  std::string issuerDn;
  std::string serialNumber;  // lower-case hex, most significant byte first
  std::chrono::system_clock::time_point notBefore;
  std::chrono::system_clock::time_point notAfter;
  std::vector<uint8_t> derData;
  std::string dni;
  std::string name;
  std::string surnames;
};
