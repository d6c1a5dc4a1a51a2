#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct UrlParts {
  std::wstring host;
  uint16_t port = 443;
  std::wstring path = L"/";  // starts with "/"; a query string stays part of it
};

// Splits "scheme://host[:port][/path]". Without "://" the whole text is the host (port 443,
// path "/"). Without a port, "https" gives 443 and any other scheme 80. A port that is not a
// decimal number from 0 to 65535 gives no result rather than a wrong port.
std::optional<UrlParts> ParseUrl(const std::string& url);

// Percent-encoding of one URL component (a path segment or a query value): ASCII letters,
// digits and "-._~" stay; every other byte, each byte of a multi-byte UTF-8 character
// included, becomes "%" and two lower-case hexadecimal digits. Never "+".
std::string PercentEncode(const std::string& text);

// A query value as forms encode it: "%" and two hexadecimal digits give that byte, "+" gives a
// space; an escape that is not well formed stays as written.
std::string PercentDecode(const std::string& text);

// "a=1&b=2" as (name, value) pairs in order, both decoded; a field without "=" has an empty
// value and an empty field is skipped.
std::vector<std::pair<std::string, std::string>> ParseQueryParameters(const std::string& query);
