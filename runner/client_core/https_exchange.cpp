#include "https_exchange.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>

#include "logger.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "unique_handle.h"
#include "winhttp_error_name.h"
#include "winhttp_settings.h"

namespace {

// The time left of an attempt's total budget.
class Deadline {
 public:
  explicit Deadline(uint32_t total_ms) : total_ms_(total_ms), start_(GetTickCount64()) {}
  uint32_t total_ms() const { return total_ms_; }
  bool Passed() const { return GetTickCount64() - start_ >= total_ms_; }
  // A per-step time-out never reaching past the deadline (at least 1 ms: 0 means "forever").
  int Clamp(int step_ms) const {
    const ULONGLONG elapsed = GetTickCount64() - start_;
    const ULONGLONG left = elapsed >= total_ms_ ? 1 : total_ms_ - elapsed;
    return static_cast<int>(std::min<ULONGLONG>(static_cast<ULONGLONG>(step_ms), left));
  }

 private:
  uint32_t total_ms_;
  ULONGLONG start_;
};

void LogWinHttpFailure(const char* what, HttpsOutcome& outcome) {
  outcome.last_error = GetLastError();
  LogError(std::string(what) + WinHttpErrorName(outcome.last_error));
}

void LogTimeBound(const Deadline& deadline, HttpsOutcome& outcome) {
  outcome.last_error = ERROR_WINHTTP_TIMEOUT;
  LogError("  Request exceeded its total time limit of " + std::to_string(deadline.total_ms()) +
           " ms");
}

void ClampTimeouts(HINTERNET request, const Deadline& deadline) {
  WinHttpSetTimeouts(request, deadline.Clamp(kResolveTimeoutMs), deadline.Clamp(kConnectTimeoutMs),
                     deadline.Clamp(kSendTimeoutMs), deadline.Clamp(kReceiveTimeoutMs));
  // The receive time-out also bounds the wait for the response headers, which some WinHTTP
  // implementations otherwise leave unbounded.
  DWORD response_timeout = static_cast<DWORD>(deadline.Clamp(kReceiveTimeoutMs));
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                   sizeof(response_timeout));
}

// A redirect would carry the Authorization header, or the form's secrets, to another place.
void RefuseRedirects(HINTERNET request) {
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable));
}

void RelaxChecksForDevelopmentHosts(HINTERNET request, const HttpsExchange& exchange) {
  if (!IsDevelopmentServiceHost(DeploymentServiceHosts(), WideToUtf8(exchange.host))) return;
  DWORD flags = kDevelopmentSecurityFlags;
  WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  if (exchange.announce_relaxed_checks) {
    LogWarning("  SSL certificate validation DISABLED (development mode)");
  }
}

DWORD QueryNumber(HINTERNET request, DWORD query, DWORD missing) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX)) {
    return missing;
  }
  return value;
}

bool BodyTooLarge(size_t size, const HttpsExchange& exchange) {
  if (size <= exchange.max_body_bytes) return false;
  LogError("  Response body exceeds the limit of " + std::to_string(exchange.max_body_bytes) +
           " bytes");
  return true;
}

// Reads until the server has no more data. A failed read ends the body with what arrived,
// unless the total time ran out; a body over the limit or past the deadline fails. Each read's
// time-out is cut to the time left, and the deadline is also checked after every read, for
// implementations that apply a new receive time-out only to the next connection.
bool ReadBoundedBody(HINTERNET request, const HttpsExchange& exchange, const Deadline& deadline,
                     HttpsOutcome& outcome) {
  const DWORD announced = QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, 0);
  if (BodyTooLarge(announced, exchange)) return false;
  for (;;) {
    DWORD receive_timeout = static_cast<DWORD>(deadline.Clamp(kReceiveTimeoutMs));
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &receive_timeout,
                     sizeof(receive_timeout));
    DWORD available = 0;
    const bool queried = WinHttpQueryDataAvailable(request, &available) != FALSE;
    if (deadline.Passed()) {
      LogTimeBound(deadline, outcome);
      return false;
    }
    if (!queried) LogError("  WinHttpQueryDataAvailable failed");
    if (!queried || available == 0) return true;
    if (BodyTooLarge(outcome.body.size() + available, exchange)) return false;
    std::string chunk(static_cast<size_t>(available) + 1, '\0');
    DWORD read = 0;
    if (!WinHttpReadData(request, &chunk[0], available, &read)) {
      LogError("  WinHttpReadData failed");
      return !deadline.Passed();
    }
    outcome.body.append(chunk.data(), read);
  }
}

bool IsRedirect(DWORD status) { return status >= 300 && status < 400; }

void Exchange(const HttpsExchange& exchange, HttpsOutcome& outcome) {
  const Deadline deadline(exchange.total_time_ms);
  WinHttpHandle session(WinHttpOpen(kWinHttpUserAgent, static_cast<DWORD>(exchange.access_type),
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return LogWinHttpFailure("  WinHttpOpen failed: ", outcome);
  WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                     kReceiveTimeoutMs);
  WinHttpHandle connection(WinHttpConnect(session.get(), exchange.host.c_str(), exchange.port, 0));
  if (!connection) return LogWinHttpFailure("  WinHttpConnect failed: ", outcome);
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), exchange.verb.c_str(),
                                           exchange.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) return LogWinHttpFailure("  WinHttpOpenRequest failed: ", outcome);

  RefuseRedirects(request.get());
  RelaxChecksForDevelopmentHosts(request.get(), exchange);
  if (!exchange.headers.empty()) {
    WinHttpAddRequestHeaders(request.get(), exchange.headers.c_str(), static_cast<DWORD>(-1),
                             WINHTTP_ADDREQ_FLAG_ADD);
  }
  const DWORD length = static_cast<DWORD>(exchange.body.size());
  LPVOID data = length > 0 ? const_cast<char*>(exchange.body.data()) : nullptr;
  ClampTimeouts(request.get(), deadline);
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length,
                          0)) {
    return LogWinHttpFailure("  WinHttpSendRequest failed: ", outcome);
  }
  ClampTimeouts(request.get(), deadline);
  if (!WinHttpReceiveResponse(request.get(), nullptr)) {
    if (deadline.Passed()) return LogTimeBound(deadline, outcome);
    return LogWinHttpFailure("  WinHttpReceiveResponse failed: ", outcome);
  }
  outcome.status = QueryNumber(request.get(), WINHTTP_QUERY_STATUS_CODE, 0);
  LogInfo("  Status Code: " + std::to_string(outcome.status));
  if (IsRedirect(outcome.status)) {
    LogError("  Redirect not followed (HTTP status " + std::to_string(outcome.status) + ")");
    return;
  }
  outcome.answered = ReadBoundedBody(request.get(), exchange, deadline, outcome);
}

}  // namespace

HttpsOutcome PerformHttpsExchange(const HttpsExchange& exchange) {
  HttpsOutcome outcome;
  Exchange(exchange, outcome);
  if (!outcome.answered) outcome.body.clear();
  return outcome;
}
