#include "web_address.h"

#include <cctype>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

uint16_t DefaultPort(const std::string& scheme) { return scheme == "https" ? 443 : 80; }

std::string WithoutFragment(const std::string& text) { return text.substr(0, text.find('#')); }

// "a/b/../c/./d" -> "a/c/d", as RFC 3986 removes dot segments.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> kept;
  bool ends_in_dot = false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = path.substr(start, slash - start);
    ends_in_dot = segment == "." || segment == "..";
    if (segment == "..") {
      if (kept.size() > 1) kept.pop_back();
    } else if (segment != ".") {
      kept.push_back(segment);
    }
    start = slash + 1;
  }
  std::string result;
  for (size_t i = 0; i < kept.size(); ++i) result += (i ? "/" : "") + kept[i];
  if (ends_in_dot) result += "/";
  return result.empty() || result[0] != '/' ? "/" + result : result;
}

}  // namespace

std::string WebAddress::Path() const { return path_and_query.substr(0, path_and_query.find('?')); }

std::string WebAddress::Text() const {
  if (!IsHttp()) return scheme + ":" + path_and_query;
  return Origin() + path_and_query;
}

std::string WebAddress::Origin() const {
  std::string text = scheme + "://" + host;
  if (port != DefaultPort(scheme)) text += ":" + std::to_string(port);
  return text;
}

std::optional<WebAddress> ParseWebAddress(const std::string& raw) {
  const std::string text = WithoutFragment(raw);
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  WebAddress address;
  address.scheme = Lower(text.substr(0, colon));
  for (char c : address.scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return std::nullopt;
    }
  }
  std::string rest = text.substr(colon + 1);
  if (!address.IsHttp()) {
    address.path_and_query = rest;
    return address;
  }
  if (rest.compare(0, 2, "//") != 0) return std::nullopt;
  rest = rest.substr(2);
  const size_t path_start = rest.find_first_of("/?");
  std::string authority = rest.substr(0, path_start);
  address.path_and_query = path_start == std::string::npos ? "/" : rest.substr(path_start);
  if (address.path_and_query[0] == '?') address.path_and_query = "/" + address.path_and_query;
  const size_t port_colon = authority.rfind(':');
  address.port = DefaultPort(address.scheme);
  if (port_colon != std::string::npos) {
    const std::string port = authority.substr(port_colon + 1);
    authority = authority.substr(0, port_colon);
    if (!port.empty()) {
      if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
      }
      const unsigned long value = std::stoul(port);
      if (value == 0 || value > 65535) return std::nullopt;
      address.port = static_cast<uint16_t>(value);
    }
  }
  if (authority.empty()) return std::nullopt;
  address.host = Lower(authority);
  return address;
}

std::optional<WebAddress> ResolveWebAddress(const WebAddress& base, const std::string& raw) {
  const std::string reference = WithoutFragment(raw);
  if (reference.empty()) return base;
  const size_t colon = reference.find(':');
  const size_t first_special = reference.find_first_of("/?");
  if (colon != std::string::npos && colon < first_special) return ParseWebAddress(reference);
  if (reference.compare(0, 2, "//") == 0) return ParseWebAddress(base.scheme + ":" + reference);
  WebAddress resolved = base;
  if (reference[0] == '/') {
    resolved.path_and_query = reference;
  } else if (reference[0] == '?') {
    resolved.path_and_query = base.Path() + reference;
  } else {
    const std::string base_path = base.Path();
    resolved.path_and_query = base_path.substr(0, base_path.rfind('/') + 1) + reference;
  }
  const size_t query = resolved.path_and_query.find('?');
  const std::string path = RemoveDotSegments(resolved.path_and_query.substr(0, query));
  resolved.path_and_query =
      path + (query == std::string::npos ? "" : resolved.path_and_query.substr(query));
  return resolved;
}

std::string FormUrlEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  static const char kHex[] = "0123456789ABCDEF";
  auto encode = [](const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
      if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '*') {
        out += static_cast<char>(c);
      } else if (c == ' ') {
        out += '+';
      } else {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    }
    return out;
  };
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += encode(name) + "=" + encode(value);
  }
  return body;
}
