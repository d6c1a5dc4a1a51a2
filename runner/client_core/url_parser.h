#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct UrlParts {
  std::wstring host;
  uint16_t port = 443;
  std::wstring path = L"/";  // starts with "/"; a query string stays part of it
};

// Splits "scheme://host[:port][/path]". Without "://" the whole text is the host (port 443,
// path "/"). Without a port, "https" gives 443 and any other scheme 80. A port that is not a
// decimal number from 0 to 65535 gives no result rather than a wrong port.
std::optional<UrlParts> ParseUrl(const std::string& url);
