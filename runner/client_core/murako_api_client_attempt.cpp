// One WinHTTP attempt of MurakoApiClient: its own session, connection and request, all closed
// before it returns.
#include "guarded_entry.h"
#include "https_exchange.h"
#include "log_redaction.h"
#include "logger.h"
#include "murako_api_client.h"
#include "string_conversion.h"

namespace {

std::optional<std::string> Attempt(const RequestAttempt& attempt, uint32_t& last_error) {
  const bool post = attempt.verb == "POST";
  HttpsExchange exchange;
  exchange.host = attempt.host;
  exchange.port = attempt.port;
  exchange.verb = Utf8ToWide(attempt.verb);
  exchange.path = attempt.path;
  exchange.headers = L"Authorization: Bearer " + Utf8ToWide(attempt.access_token) + L"\r\n";
  if (post) {
    exchange.headers += L"Content-Type: application/json\r\n";
    exchange.body = attempt.body;
  }
  exchange.access_type = attempt.access_type;
  exchange.total_time_ms = attempt.total_time_ms;

  HttpsOutcome outcome = PerformHttpsExchange(exchange);
  last_error = outcome.last_error;
  if (!outcome.answered) return std::nullopt;
  if (attempt.answered_status != nullptr) *attempt.answered_status = outcome.status;
  LogInfo("  Response Length: " + std::to_string(outcome.body.size()) + " bytes");
  if (outcome.status != 200) {
    LogError("  HTTP request failed with status: " + std::to_string(outcome.status));
    LogError("  Response body: " + RedactJsonSecretsForLog(outcome.body));
    return std::nullopt;
  }
  return std::move(outcome.body);
}

}  // namespace

std::optional<std::string> MurakoApiClient::TryWinHttpRequest(const RequestAttempt& attempt,
                                                              uint32_t& last_error) {
  last_error = 0;
  return GuardEntry(
      [&] {
        LogInfo("  [ApiClient] Attempting " + attempt.verb +
                " with access type: " + attempt.strategy_name);
        return Attempt(attempt, last_error);
      },
      [](const CaughtFailure& caught) -> std::optional<std::string> {
        LogError(caught.IsStandard() ? "  Exception in TryWinHttpRequest: " + caught.Text()
                                     : std::string("  Unknown exception in TryWinHttpRequest"));
        return std::nullopt;
      });
}
