#include "url_parser.h"

#include <algorithm>

#include "string_conversion.h"

namespace {

std::optional<uint16_t> ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool IsUnreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
         byte == '~';
}

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<UrlParts> ParseUrl(const std::string& url) {
  UrlParts parts;
  size_t scheme_end = url.size() < 3 ? std::string::npos : url.find("://");
  if (scheme_end == std::string::npos) {
    parts.host = Utf8ToWide(url);
    return parts;
  }
  const std::string scheme = url.substr(0, scheme_end);
  const size_t authority_start = scheme_end + 3;
  const size_t path_start = url.find('/', authority_start);
  const std::string authority = url.substr(
      authority_start,
      path_start == std::string::npos ? std::string::npos : path_start - authority_start);
  if (path_start != std::string::npos) parts.path = Utf8ToWide(url.substr(path_start));

  const size_t colon = authority.find(':');
  if (colon == std::string::npos) {
    parts.host = Utf8ToWide(authority);
    parts.port = scheme == "https" ? 443 : 80;
    return parts;
  }
  std::optional<uint16_t> port = ParsePort(authority.substr(colon + 1));
  if (!port) return std::nullopt;
  parts.host = Utf8ToWide(authority.substr(0, colon));
  parts.port = *port;
  return parts;
}

std::string PercentEncode(const std::string& text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string encoded;
  encoded.reserve(text.size() * 3);
  for (char character : text) {
    const unsigned char byte = static_cast<unsigned char>(character);
    if (IsUnreserved(byte)) {
      encoded += character;
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}

std::string PercentDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '+') {
      decoded += ' ';
      continue;
    }
    const int high = text[at] == '%' && at + 2 < text.size() ? HexValue(text[at + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[at + 2]) : -1;
    if (low < 0) {
      decoded += text[at];
      continue;
    }
    decoded += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return decoded;
}

std::vector<std::pair<std::string, std::string>> ParseQueryParameters(const std::string& query) {
  std::vector<std::pair<std::string, std::string>> parameters;
  size_t start = 0;
  while (start <= query.size()) {
    const size_t end = std::min(query.find('&', start), query.size());
    const std::string field = query.substr(start, end - start);
    if (!field.empty()) {
      const size_t equals = field.find('=');
      const std::string value =
          equals == std::string::npos ? std::string() : field.substr(equals + 1);
      parameters.emplace_back(PercentDecode(field.substr(0, equals)), PercentDecode(value));
    }
    start = end + 1;
  }
  return parameters;
}
