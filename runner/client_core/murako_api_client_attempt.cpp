// One WinHTTP attempt of MurakoApiClient: its own session, connection and request, all closed
// before it returns.
#include <exception>

#include "logger.h"
#include "murako_api_client.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "winhttp_error_name.h"
#include "winhttp_handle.h"
#include "winhttp_settings.h"

namespace {

// Records the thread's WinHTTP error and logs it after `what`.
void RecordFailure(const char* what, uint32_t& last_error) {
  last_error = GetLastError();
  LogError(std::string(what) + WinHttpErrorName(last_error));
}

bool AddHeader(HINTERNET request, const std::wstring& header) {
  return WinHttpAddRequestHeaders(request, header.c_str(), static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD) != FALSE;
}

DWORD QueryStatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return 0;
  }
  return status;
}

std::string ReadBody(HINTERNET request) {
  std::string body;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available == 0) break;
    std::string chunk(static_cast<size_t>(available) + 1, '\0');
    DWORD read = 0;
    if (!WinHttpReadData(request, &chunk[0], available, &read)) break;
    body.append(chunk.data(), read);
  }
  return body;
}

std::optional<std::string> Attempt(const RequestAttempt& attempt, uint32_t& last_error) {
  WinHttpHandle session(WinHttpOpen(kWinHttpUserAgent, static_cast<DWORD>(attempt.access_type),
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    RecordFailure("  WinHttpOpen failed: ", last_error);
    return std::nullopt;
  }
  WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                     kReceiveTimeoutMs);

  WinHttpHandle connection(WinHttpConnect(session.get(), attempt.host.c_str(), attempt.port, 0));
  if (!connection) {
    RecordFailure("  WinHttpConnect failed: ", last_error);
    return std::nullopt;
  }
  const std::wstring verb = Utf8ToWide(attempt.verb);
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), verb.c_str(), attempt.path.c_str(),
                                           nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) {
    RecordFailure("  WinHttpOpenRequest failed: ", last_error);
    return std::nullopt;
  }

  // The receive time-out also bounds the wait for the response headers, which some WinHTTP
  // implementations otherwise leave unbounded.
  DWORD response_timeout = kReceiveTimeoutMs;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                   sizeof(response_timeout));

  if (!IsProductionValue(SecureStorage::GetToken(kEnvironmentKey))) {
    DWORD flags = kDevelopmentSecurityFlags;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  }

  const bool post = attempt.verb == "POST";
  AddHeader(request.get(), L"Authorization: Bearer " + Utf8ToWide(attempt.access_token));
  if (post) AddHeader(request.get(), L"Content-Type: application/json");

  const DWORD body_length = post ? static_cast<DWORD>(attempt.body.size()) : 0;
  LPVOID body_data = post && body_length > 0 ? const_cast<char*>(attempt.body.data()) : nullptr;
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body_data, body_length,
                          body_length, 0)) {
    RecordFailure("  WinHttpSendRequest failed: ", last_error);
    return std::nullopt;
  }
  if (!WinHttpReceiveResponse(request.get(), nullptr)) {
    RecordFailure("  WinHttpReceiveResponse failed: ", last_error);
    return std::nullopt;
  }

  const DWORD status = QueryStatusCode(request.get());
  LogInfo("  Status Code: " + std::to_string(status));
  std::string body = ReadBody(request.get());
  LogInfo("  Response Length: " + std::to_string(body.size()) + " bytes");
  if (status != 200) {
    LogError("  HTTP request failed with status: " + std::to_string(status));
    LogError("  Response body: " + body);
    return std::nullopt;
  }
  return body;
}

}  // namespace

std::optional<std::string> MurakoApiClient::TryWinHttpRequest(const RequestAttempt& attempt,
                                                              uint32_t& last_error) {
  last_error = 0;
  try {
    LogInfo("  [ApiClient] Attempting " + attempt.verb +
            " with access type: " + attempt.strategy_name);
    return Attempt(attempt, last_error);
  } catch (const std::exception& error) {
    LogError(std::string("  Exception in TryWinHttpRequest: ") + error.what());
  } catch (...) {
    LogError("  Unknown exception in TryWinHttpRequest");
  }
  return std::nullopt;
}
