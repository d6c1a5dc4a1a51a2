#include "cert_parser.h"

#include <windows.h>
#include <wincrypt.h>

#include <regex>
#include <sstream>

#include "cert_handles.h"
#include "cert_text.h"
#include "logger.h"
#include "simple_display_name.h"
#include "string_conversion.h"

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

int Base64Index(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
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

}  // namespace

std::optional<std::vector<uint8_t>> CertParser::DecodeBase64(const std::string& base64) {
  try {
    LogInfo("CertParser::DecodeBase64 - Decoding " + std::to_string(base64.size()) + " chars");
    if (base64.empty()) {
      LogError("Base64 string is empty");
      return std::nullopt;
    }
    std::wstring wide = Utf8ToWide(base64);
    DWORD size = 0;
    if (!CryptStringToBinaryW(wide.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                              nullptr)) {
      LogError("CryptStringToBinaryW failed to get size: " + CodeText(GetLastError()));
      return std::nullopt;
    }
    std::vector<uint8_t> bytes(size);
    if (!CryptStringToBinaryW(wide.c_str(), 0, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr,
                              nullptr)) {
      LogError("CryptStringToBinaryW failed: " + CodeText(GetLastError()));
      return std::nullopt;
    }
    bytes.resize(size);
    LogInfo("Base64 decoded successfully: " + std::to_string(bytes.size()) + " bytes");
    return bytes;
  } catch (const std::exception& error) {
    LogError(std::string("CertParser::DecodeBase64 - Exception: ") + error.what());
    return std::nullopt;
  }
}

std::optional<CertificateInfo> CertParser::ParseCertificateFromDER(
    const std::vector<uint8_t>& der) {
  try {
    LogInfo("CertParser::ParseCertificateFromDER - Parsing " + std::to_string(der.size()) +
            " bytes");
    if (der.empty()) {
      LogError("DER data is empty");
      return std::nullopt;
    }
    UniqueCertContext context(CertCreateCertificateContext(
        kCertificateEncoding, der.data(), static_cast<DWORD>(der.size())));
    if (!context) {
      LogError("CertCreateCertificateContext failed: " + CodeText(GetLastError()));
      return std::nullopt;
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
  } catch (const std::exception& error) {
    LogError(std::string("CertParser::ParseCertificateFromDER - Exception: ") + error.what());
    return std::nullopt;
  }
}

std::optional<CertificateInfo> CertParser::ParseCertificateFromBase64(const std::string& base64) {
  LogInfo("CertParser::ParseCertificateFromBase64");
  std::optional<std::vector<uint8_t>> der = DecodeBase64(base64);
  if (!der) {
    LogError("Failed to decode Base64 certificate");
    return std::nullopt;
  }
  return ParseCertificateFromDER(*der);
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

std::vector<uint8_t> CertParser::Base64Decode(const std::string& base64) {
  std::vector<uint8_t> bytes;
  uint32_t group = 0;
  int filled = 0;
  for (char c : base64) {
    int index = Base64Index(c);
    if (index < 0) break;
    group = (group << 6) | static_cast<uint32_t>(index);
    if (++filled == 4) {
      bytes.push_back(static_cast<uint8_t>(group >> 16));
      bytes.push_back(static_cast<uint8_t>(group >> 8));
      bytes.push_back(static_cast<uint8_t>(group));
      group = 0;
      filled = 0;
    }
  }
  if (filled == 2) {
    bytes.push_back(static_cast<uint8_t>(group >> 4));
  } else if (filled == 3) {
    bytes.push_back(static_cast<uint8_t>(group >> 10));
    bytes.push_back(static_cast<uint8_t>(group >> 2));
  }
  return bytes;
}
