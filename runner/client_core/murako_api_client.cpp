#include "murako_api_client.h"

#include <utility>

#include "log_redaction.h"
#include "logger.h"
#include "string_conversion.h"
#include "url_parser.h"
#include "winhttp_error_name.h"

namespace {

const std::string kRule(40, '=');

struct ProxyStrategy {
  ProxyAccessType access_type;
  const char* name;
};

constexpr ProxyStrategy kStrategies[] = {
    {ProxyAccessType::Automatic, "AUTOMATIC_PROXY"},
    {ProxyAccessType::Default, "DEFAULT_PROXY"},
    {ProxyAccessType::None, "NO_PROXY (direct)"},
};
// The success and retry lines name the third strategy without its "(direct)" note.
constexpr const char* kShortNames[] = {"AUTOMATIC_PROXY", "DEFAULT_PROXY", "NO_PROXY"};

void LogRequestHeader(const std::string& verb, const std::string& url, const UrlParts& parts,
                      const std::string& access_token, const std::string& body) {
  LogInfo("URL: " + url);
  LogInfo("Host: " + WideToUtf8(parts.host));
  LogInfo("Port: " + std::to_string(parts.port));
  LogInfo("Path: " + WideToUtf8(parts.path));
  LogInfo("Authorization: Bearer " + MaskToken(access_token));
  if (verb == "POST") {
    LogInfo("Content-Type: application/json");
    LogInfo("Request Body: " + body);
  }
}

}  // namespace

MurakoApiClient::MurakoApiClient(std::string base_url, std::string access_token)
    : MurakoApiClient(std::move(base_url), std::move(access_token), &TryWinHttpRequest) {}

MurakoApiClient::MurakoApiClient(std::string base_url, std::string access_token,
                                 AttemptFunction attempt)
    : base_url_(std::move(base_url)),
      access_token_(std::move(access_token)),
      attempt_(std::move(attempt)) {
  LogInfo("MurakoApiClient initialized with base URL: " + base_url_);
}

std::optional<std::string> MurakoApiClient::Get(const std::string& endpoint) const {
  return Send("GET", endpoint, std::string());
}

std::optional<std::string> MurakoApiClient::Post(const std::string& endpoint,
                                                 const std::string& json_body) const {
  return Send("POST", endpoint, json_body);
}

std::optional<std::string> MurakoApiClient::Send(const std::string& verb,
                                                 const std::string& endpoint,
                                                 const std::string& body,
                                                 uint32_t* http_status) const {
  const std::string url = base_url_ + endpoint;
  LogInfo(kRule);
  LogInfo("HTTP " + verb + " REQUEST");
  LogInfo(kRule);

  std::optional<UrlParts> parts = ParseUrl(url);
  if (!parts) {
    LogInfo("URL: " + url);
    LogError(verb + " failed: the URL has an invalid port: " + url);
    LogInfo(kRule);
    return std::nullopt;
  }
  LogRequestHeader(verb, url, *parts, access_token_, body);

  RequestAttempt attempt{verb, parts->host, parts->path, body, parts->port,
                         ProxyAccessType::Automatic, "", access_token_};
  attempt.answered_status = http_status;
  const size_t strategy_count = sizeof(kStrategies) / sizeof(kStrategies[0]);
  for (size_t step = 0; step < strategy_count; ++step) {
    attempt.access_type = kStrategies[step].access_type;
    attempt.strategy_name = kStrategies[step].name;
    uint32_t last_error = 0;
    std::optional<std::string> response = attempt_(attempt, last_error);
    if (response) {
      LogInfo("HTTP " + verb + " succeeded with " + kShortNames[step]);
      LogInfo("Response Body: " + RedactJsonSecretsForLog(*response));
      LogInfo(kRule);
      return response;
    }
    if (step + 1 == strategy_count) break;
    if (!IsRetryableWinHttpError(last_error)) {
      LogError(verb + " failed with non-retryable error: " + WinHttpErrorName(last_error));
      if (attempt.access_type == ProxyAccessType::Default) {
        LogError(DefaultProxyEndedLine(last_error));
      }
      return std::nullopt;
    }
    LogWarning(std::string(kShortNames[step]) + " failed with " + WinHttpErrorName(last_error) +
               ", retrying with " + kShortNames[step + 1] + "...");
  }
  LogError("All HTTP " + verb + " strategies failed for " + url +
           " - possible network/DNS issue (VPN disconnect, corporate proxy change)");
  LogInfo(kRule);
  return std::nullopt;
}
