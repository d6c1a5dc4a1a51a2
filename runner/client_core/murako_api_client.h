#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "https_exchange.h"
#include "murako_api_types.h"

struct RequestAttempt {
  std::string verb;
  std::wstring host;
  std::wstring path;
  std::string body;
  uint16_t port = 443;
  ProxyAccessType access_type = ProxyAccessType::Automatic;
  std::string strategy_name;
  std::string access_token;
  uint32_t total_time_ms = kRequestTotalTimeMs;
  uint32_t* answered_status = nullptr;  // receives the HTTP status of an answer, when given
};

// One attempt: the body of a 200 answer, or nothing with `last_error` holding the WinHTTP
// error code (0 when the failure was an HTTP status or an exception).
using AttemptFunction =
    std::function<std::optional<std::string>(const RequestAttempt& attempt, uint32_t& last_error)>;

// The REST client of the remote signing service: JSON GET and POST over HTTPS with the bearer
// token, each request tried with automatic proxy detection, then the default proxy, then
// directly, moving on only after a network-path failure. Holds no mutable state.
class MurakoApiClient {
 public:
  MurakoApiClient(std::string base_url, std::string access_token);
  // Tests replace the network attempt to drive the proxy fallback.
  MurakoApiClient(std::string base_url, std::string access_token, AttemptFunction attempt);

  std::optional<std::string> Get(const std::string& endpoint) const;
  std::optional<std::string> Post(const std::string& endpoint, const std::string& json_body) const;

  std::optional<UserInfo> GetUserInfo() const;
  std::optional<IdentityDetails> GetIdentityDetails(const std::string& identity_id) const;
  // `http_status`, when given, receives the status of the service's last answer (0: none).
  std::optional<SignatureResult> SignHash(const SignatureRequest& request,
                                          uint32_t* http_status = nullptr) const;

  // One WinHTTP attempt with its own session, connection and request.
  static std::optional<std::string> TryWinHttpRequest(const RequestAttempt& attempt,
                                                      uint32_t& last_error);

 private:
  std::optional<std::string> Send(const std::string& verb, const std::string& endpoint,
                                  const std::string& body, uint32_t* http_status = nullptr) const;

  std::string base_url_;
  std::string access_token_;
  AttemptFunction attempt_;
};

constexpr char kUserInfoPath[] = "/trustedx-resources/openid/v1/users/me";
constexpr char kSignIdentityPath[] = "/trustedx-resources/esigp/v1/sign_identities/";
constexpr char kRawSignaturePath[] = "/trustedx-resources/esigp/v1/signatures/server/raw";
