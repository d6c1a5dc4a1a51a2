// OAuthManager's form-POST transport to the token endpoint: WinHTTP directly, one session per
// attempt, tried with automatic proxy detection, the default proxy and no proxy in turn.
#include <exception>

#include "https_exchange.h"
#include "logger.h"
#include "oauth_manager.h"
#include "string_conversion.h"
#include "token_log_redaction.h"

namespace {

constexpr wchar_t kFormContentType[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

struct Strategy {
  ProxyAccessType access_type;
  const char* name;
  const char* warning_when_failed;  // null for the last strategy
};

constexpr Strategy kStrategies[] = {
    {ProxyAccessType::Automatic, "AUTOMATIC_PROXY",
     "AUTOMATIC_PROXY failed, retrying with DEFAULT_PROXY..."},
    {ProxyAccessType::Default, "DEFAULT_PROXY",
     "DEFAULT_PROXY failed, retrying with NO_PROXY (direct connection)..."},
    {ProxyAccessType::None, "NO_PROXY (direct)", nullptr},
};

}  // namespace

std::optional<std::string> OAuthManager::HttpPost(const std::wstring& host,
                                                  const std::string& path,
                                                  const std::string& body, uint16_t port) const {
  try {
    const std::string host_text = WideToUtf8(host);
    LogInfo("Making HTTP POST request to " + host_text + ":" + std::to_string(port) + path);
    // The body carries the client secret and the code or refresh token: those values are not
    // written to the log.
    LogInfo("Request body: " + RedactFormBodyForLog(body));
    for (const Strategy& strategy : kStrategies) {
      FormPostAttempt attempt{host, path, body, port, strategy.access_type, strategy.name};
      std::optional<std::string> response =
          seams_.attempt ? seams_.attempt(attempt) : TryHttpPost(attempt);
      if (response) return response;
      if (strategy.warning_when_failed != nullptr) LogWarning(strategy.warning_when_failed);
    }
    LogError("All HTTP POST strategies failed for " + host_text +
             " - possible network/DNS issue (VPN disconnect, corporate proxy change)");
  } catch (const std::exception& error) {
    LogError(std::string("Exception in HttpPost: ") + error.what());
  } catch (...) {
    LogError("Unknown exception in HttpPost");
  }
  return std::nullopt;
}

std::optional<std::string> OAuthManager::TryHttpPost(const FormPostAttempt& attempt) const {
  try {
    LogInfo("  Attempting with access type: " + attempt.strategy_name);
    HttpsExchange exchange;
    exchange.host = attempt.host;
    exchange.port = attempt.port;
    exchange.verb = L"POST";
    exchange.path = Utf8ToWide(attempt.path);
    exchange.headers = kFormContentType;
    exchange.body = attempt.body;
    exchange.access_type = attempt.access_type;
    exchange.announce_relaxed_checks = true;
    HttpsOutcome outcome = PerformHttpsExchange(exchange);
    if (!outcome.answered) return std::nullopt;
    LogInfo("  HTTP response received: " + std::to_string(outcome.body.size()) + " bytes");
    return std::move(outcome.body);
  } catch (const std::exception& error) {
    LogError(std::string("  Exception in TryHttpPost: ") + error.what());
  } catch (...) {
    LogError("  Unknown exception in TryHttpPost");
  }
  return std::nullopt;
}
