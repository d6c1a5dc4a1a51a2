#include "cert_parser.h"

#include <windows.h>
#include <wincrypt.h>

#include <regex>
#include <sstream>

#include "cert_text.h"
#include "guarded_entry.h"
#include "logged_reason.h"
#include "logger.h"
#include "simple_display_name.h"
#include "string_conversion.h"
#include "unique_handle.h"

namespace {

constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::string CodeText(DWORD code) { return std::to_string(code); }

std::string X500Name(PCERT_NAME_BLOB blob) {
  DWORD size = CertNameToStrW(X509_ASN_ENCODING, blob, CERT_X500_NAME_STR, nullptr, 0);
  if (size <= 1) return std::string();
  std::wstring name(size, L'\0');
  size = CertNameToStrW(X509_ASN_ENCODING, blob, CERT_X500_NAME_STR, &name[0], size);
  if (size <= 1) return std::string();
  name.resize(size - 1);
  return WideToUtf8(name);
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

CertificateInfo ReadCertificate(PCCERT_CONTEXT context, const std::vector<uint8_t>& der) {
  CertificateInfo info;
  info.derData = der;
  info.subjectCn = SimpleDisplayName(context, 0);
  info.subjectDn = X500Name(&context->pCertInfo->Subject);
  info.issuerCn = SimpleDisplayName(context, CERT_NAME_ISSUER_FLAG);
  info.issuerDn = X500Name(&context->pCertInfo->Issuer);
  const CRYPT_INTEGER_BLOB& serial = context->pCertInfo->SerialNumber;
  info.serialNumber =
      FormatSerialNumber(std::vector<uint8_t>(serial.pbData, serial.pbData + serial.cbData));
  info.notBefore = FileTimeToTimePoint(FileTimeValue(context->pCertInfo->NotBefore));
  info.notAfter = FileTimeToTimePoint(FileTimeValue(context->pCertInfo->NotAfter));
  CertParser::ParseName(info.subjectCn, info.dni, info.surnames, info.name);
  return info;
}

// What a public entry point answers for an exception, with its Error line.
// The failure handler of one public operation: its Error line, returned as the reason.
auto CaughtReason(const char* entry_point) {
  return [entry_point](const CaughtFailure& caught) {
    return LoggedReason(std::string("CertParser::") + entry_point + " - Exception: " +
                        caught.Text());
  };
}

ValueOrReason<std::vector<uint8_t>> DecodeBase64Unguarded(const std::string& base64) {
  LogInfo("CertParser::DecodeBase64 - Decoding " + std::to_string(base64.size()) + " chars");
  if (base64.empty()) return LoggedReason("Base64 string is empty");
  std::wstring wide = Utf8ToWide(base64);
  DWORD size = 0;
  if (!CryptStringToBinaryW(wide.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                            nullptr)) {
    return LoggedReason("CryptStringToBinaryW failed to get size: " + CodeText(GetLastError()));
  }
  std::vector<uint8_t> bytes(size);
  if (!CryptStringToBinaryW(wide.c_str(), 0, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr,
                            nullptr)) {
    return LoggedReason("CryptStringToBinaryW failed: " + CodeText(GetLastError()));
  }
  bytes.resize(size);
  LogInfo("Base64 decoded successfully: " + std::to_string(bytes.size()) + " bytes");
  return bytes;
}

ValueOrReason<CertificateInfo> ParseDerUnguarded(const std::vector<uint8_t>& der) {
  LogInfo("CertParser::ParseCertificateFromDER - Parsing " + std::to_string(der.size()) +
          " bytes");
  if (der.empty()) return LoggedReason("DER data is empty");
  UniqueCertContext context(CertCreateCertificateContext(
      kCertificateEncoding, der.data(), static_cast<DWORD>(der.size())));
  if (!context) {
    return LoggedReason("CertCreateCertificateContext failed: " + CodeText(GetLastError()));
  }
  CertificateInfo info = ReadCertificate(context.get(), der);
  context.reset();
  LogInfo("Certificate parsed successfully");
  LogInfo("  Subject CN: " + info.subjectCn);
  LogInfo("  Issuer CN: " + info.issuerCn);
  LogInfo("  Serial: " + info.serialNumber);
  LogInfo("  DNI: " + info.dni);
  LogInfo("  Name: " + info.name);
  LogInfo("  Surnames: " + info.surnames);
  return info;
}

}  // namespace

ValueOrReason<std::vector<uint8_t>> CertParser::DecodeBase64(const std::string& base64) {
  return GuardEntry([&] { return DecodeBase64Unguarded(base64); }, CaughtReason("DecodeBase64"));
}

ValueOrReason<CertificateInfo> CertParser::ParseCertificateFromDER(
    const std::vector<uint8_t>& der) {
  return GuardEntry([&] { return ParseDerUnguarded(der); },
                    CaughtReason("ParseCertificateFromDER"));
}

ValueOrReason<CertificateInfo> CertParser::ParseCertificateFromBase64(const std::string& base64) {
  return GuardEntry(
      [&]() -> ValueOrReason<CertificateInfo> {
        LogInfo("CertParser::ParseCertificateFromBase64");
        ValueOrReason<std::vector<uint8_t>> der = DecodeBase64Unguarded(base64);
        if (!der) {
          LogError("Failed to decode Base64 certificate");
          return Reason{der.reason()};
        }
        return ParseDerUnguarded(*der);
      },
      CaughtReason("ParseCertificateFromBase64"));
}

std::string CertParser::ExtractDni(const std::string& subjectCn) {
  static const std::regex kDniPattern("^([0-9]{8}[A-Z])", std::regex::ECMAScript);
  std::smatch match;
  if (std::regex_search(subjectCn, match, kDniPattern)) return match[1].str();
  LogWarning("Could not extract DNI from subject CN: " + subjectCn);
  return std::string();
}

void CertParser::ParseName(const std::string& subjectCn, std::string& dni, std::string& surnames,
                           std::string& name) {
  dni = ExtractDni(subjectCn);
  if (!dni.empty()) {
    std::istringstream rest(subjectCn.substr(dni.size()));
    std::vector<std::string> words;
    for (std::string word; rest >> word;) words.push_back(word);
    if (!words.empty()) {
      name = words.back();
      words.pop_back();
      std::string joined;
      for (const std::string& word : words) joined += (joined.empty() ? "" : " ") + word;
      surnames = joined;
    }
  }
  LogInfo("Extracted - DNI: " + dni + ", Surnames: " + surnames + ", Name: " + name);
}
