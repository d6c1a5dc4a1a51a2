#include "murako_api_client.h"

#include <utility>

#include "log_redaction.h"
#include "logger.h"
#include "proxy_walk.h"
#include "string_conversion.h"
#include "url_parser.h"
#include "winhttp_error_name.h"

namespace {

const std::string kRule(40, '=');

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

// The REST client's lines name the last strategy without its "(direct)" note.
ProxyWalkLines RestWalkLines(const std::string& verb, const std::string& url) {
  ProxyWalkLines lines;
  lines.verb = verb;
  lines.target = url;
  lines.succeeded = [verb](const ProxyStrategy& used) {
    return "HTTP " + verb + " succeeded with " + used.short_name;
  };
  lines.retrying = [](const ProxyStrategy& failed, const ProxyStrategy& next, uint32_t error) {
    return std::string(failed.short_name) + " failed with " + WinHttpErrorName(error) +
           ", retrying with " + next.short_name + "...";
  };
  return lines;
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
  const ProxyWalkResult walked = WalkProxyStrategies(
      [this, &attempt](const ProxyStrategy& strategy) {
        attempt.access_type = strategy.access_type;
        attempt.strategy_name = strategy.name;
        uint32_t last_error = 0;
        std::optional<std::string> response = attempt_(attempt, last_error);
        return ProxyAttemptOutcome{std::move(response), last_error};
      },
      RestWalkLines(verb, url));
  if (walked.body) LogInfo("Response Body: " + RedactJsonSecretsForLog(*walked.body));
  if (walked.body || walked.exhausted) LogInfo(kRule);
  return walked.body;
}
