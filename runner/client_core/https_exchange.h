#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How a request reaches the network in one attempt; one value per proxy strategy.
enum class ProxyAccessType : uint32_t {
  Automatic = 4,  // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
  Default = 0,    // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
  None = 1,       // WINHTTP_ACCESS_TYPE_NO_PROXY
};

// Every endpoint of the service answers far below this; anything larger is not its answer.
constexpr size_t kMaxResponseBodyBytes = 1024 * 1024;
// A whole attempt, from opening the session to the last byte of the body, whatever the
// per-step time-outs allow: a server that drips its answer cannot hold the caller longer.
constexpr uint32_t kRequestTotalTimeMs = 60000;

// One HTTPS request over WinHTTP with its own session, connection and request handles. The
// REST client and the sign-in's form POST both send through it.
struct HttpsExchange {
  std::wstring host;
  uint16_t port = 443;
  std::wstring verb;
  std::wstring path;
  std::wstring headers;  // "Name: value\r\n" lines, added in add mode
  std::string body;      // sent when not empty
  ProxyAccessType access_type = ProxyAccessType::Automatic;
  // Only the build's development hosts are contacted with relaxed certificate checks; this
  // says whether to log a Warning when they are.
  bool announce_relaxed_checks = false;
  uint32_t total_time_ms = kRequestTotalTimeMs;
  size_t max_body_bytes = kMaxResponseBodyBytes;
};

struct HttpsOutcome {
  // A complete answer that is not a redirect and fits the size and time bounds.
  bool answered = false;
  uint32_t status = 0;  // 0 when no status line arrived
  std::string body;
  uint32_t last_error = 0;  // the WinHTTP error of a failed call or of the time bound, else 0
};

// Sends the request and reads the answer. Redirects are never followed: a 3xx answer is a
// failure. Every failure is logged here with its own line; "  Status Code: " is logged once
// the status is known. Does not throw for network or server failures.
HttpsOutcome PerformHttpsExchange(const HttpsExchange& exchange);
