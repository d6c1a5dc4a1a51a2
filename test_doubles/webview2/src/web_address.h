#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// An absolute address as the stand-in browser needs it: scheme, host, port, and the path with
// its query. Fragments are dropped: they never reach a server.
struct WebAddress {
  std::string scheme;  // lower case
  std::string host;    // lower case
  uint16_t port = 0;
  std::string path_and_query = "/";

  bool IsHttp() const { return scheme == "http" || scheme == "https"; }
  bool IsSecure() const { return scheme == "https"; }
  std::string Path() const;  // without the query
  std::string Text() const;  // the address written out again, default ports omitted
  std::string Origin() const;  // "scheme://host[:port]", the default port omitted
};

// "scheme:..." with an http(s) authority parsed; any other scheme keeps its text in
// path_and_query. Nothing for text without a scheme or with a bad port.
std::optional<WebAddress> ParseWebAddress(const std::string& text);

// A link or form action resolved against the page it appears on (absolute, "//host/...",
// "/path", "?query", "relative/path" or empty).
std::optional<WebAddress> ResolveWebAddress(const WebAddress& base, const std::string& reference);

// application/x-www-form-urlencoded, as browsers send forms (space as "+").
std::string FormUrlEncode(const std::vector<std::pair<std::string, std::string>>& fields);
