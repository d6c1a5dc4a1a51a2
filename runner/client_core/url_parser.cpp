#include "url_parser.h"

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
