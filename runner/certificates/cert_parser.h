#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "certificate_info.h"
#include "value_or_reason.h"

// Turns the Base64 certificate text the signing service delivers into DER bytes and the few
// facts the rest of the system shows. Every failure is a reason plus its Error log line; no
// exception leaves these.
class CertParser {
 public:
  static ValueOrReason<std::vector<uint8_t>> DecodeBase64(const std::string& base64);
  static ValueOrReason<CertificateInfo> ParseCertificateFromDER(const std::vector<uint8_t>& der);
  static ValueOrReason<CertificateInfo> ParseCertificateFromBase64(const std::string& base64);

  // The national identity number (eight digits and an upper-case letter) that starts the
  // subject's simple name, or empty.
  static std::string ExtractDni(const std::string& subjectCn);
  // Splits "DNI SURNAME... NAME"; the outputs keep their values when no DNI or no word follows.
  static void ParseName(const std::string& subjectCn, std::string& dni, std::string& surnames,
                        std::string& name);
};
