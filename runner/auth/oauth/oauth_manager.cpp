// OAuthManager: the authorization URL, the endpoints of the current environment, the two
// token grants and their form-POST transport: WinHTTP directly, one session per attempt, tried
// with automatic proxy detection, the default proxy and no proxy in turn while the failures are
// on the network path.
#include "oauth_manager.h"

#include <utility>

#include "guarded_entry.h"
#include "https_exchange.h"
#include "log_redaction.h"
#include "logger.h"
#include "oauth_protocol.h"
#include "proxy_walk.h"
#include "service_endpoints.h"
#include "string_conversion.h"

namespace {

constexpr wchar_t kFormContentType[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

// The form POST's lines name each strategy in full; its retry lines name no error.
ProxyWalkLines FormPostWalkLines(const std::string& host_text) {
  ProxyWalkLines lines;
  lines.verb = "POST";
  lines.target = host_text;
  lines.succeeded = [](const ProxyStrategy& used) {
    return std::string("HTTP POST succeeded with ") + used.name;
  };
  lines.retrying = [](const ProxyStrategy& failed, const ProxyStrategy& next, uint32_t) {
    const std::string next_name = next.access_type == ProxyAccessType::None
                                      ? "NO_PROXY (direct connection)"
                                      : next.short_name;
    return std::string(failed.short_name) + " failed, retrying with " + next_name + "...";
  };
  lines.last_failure_judged = true;
  return lines;
}

}  // namespace

OAuthManager::OAuthManager(std::string base_url, std::string client_id, std::string client_secret)
    : OAuthManager(std::move(base_url), std::move(client_id), std::move(client_secret), {}) {}

OAuthManager::OAuthManager(std::string base_url, std::string client_id, std::string client_secret,
                           OAuthManagerSeams seams)
    : base_url_(std::move(base_url)),
      client_id_(std::move(client_id)),
      client_secret_(std::move(client_secret)),
      seams_(std::move(seams)) {
  if (!seams_.read_environment) seams_.read_environment = ReadStoredEnvironment;
  LogInfo("OAuthManager initialized with base URL: " + base_url_);
}

bool OAuthManager::IsProduction() const {
  return IsProductionValue(seams_.read_environment());
}

std::string OAuthManager::BuildAuthorizationUrl(int user_type, const std::string& redirect_uri,
                                                const std::string& locale,
                                                const std::string& login_hint,
                                                const AuthorizationRequestProof& proof) const {
  return GuardEntry("Failed to build authorization URL: ", std::string(), [&] {
    LogInfo("Generating OAuth authorization URL with locale=" + locale + ", login_hint=" +
            (login_hint.empty() ? std::string("(empty)") : MaskIdentityNumber(login_hint)));
    std::string url = ComposeAuthorizationUrl(GetOAuthDomain(user_type), client_id_,
                                              UserTypeFromOAuthNumber(user_type), redirect_uri,
                                              locale, login_hint, proof);
    LogInfo("Authorization URL: " + RedactAddressForLog(url));
    return url;
  });
}

std::string OAuthManager::GetOAuthDomain(int user_type) const {
  const ServiceHosts hosts = DeploymentServiceHosts();
  const UserType type = UserTypeFromOAuthNumber(user_type);
  return GuardEntry(
      [&] {
        OAuthDomainChoice choice = ChooseOAuthDomain(hosts, type, IsProduction());
        LogInfo(choice.log_line);
        return choice.address;
      },
      [&](const CaughtFailure& caught) {
        LogWarning("Failed to read environment setting, using DEVELOPMENT: " +
                   caught.Text("unknown error"));
        return ChooseOAuthDomain(hosts, type, false).address;
      });
}

TokenEndpoint OAuthManager::GetTokenEndpoint(int user_type) const {
  const ServiceHosts hosts = DeploymentServiceHosts();
  const UserType type = UserTypeFromOAuthNumber(user_type);
  const TokenEndpointChoice choice = GuardEntry(
      [&] {
        TokenEndpointChoice chosen = ChooseTokenEndpoint(hosts, type, IsProduction());
        LogInfo(chosen.log_line);
        return chosen;
      },
      [&](const CaughtFailure& caught) {
        LogWarning("Failed to read environment setting, using DEVELOPMENT token endpoint: " +
                   caught.Text("unknown error"));
        return ChooseTokenEndpoint(hosts, type, false);
      });
  return {Utf8ToWide(choice.host), choice.port};
}

std::optional<murako::OAuthToken> OAuthManager::ExchangeCodeForToken(
    const std::string& code, const std::string& redirect_uri, int user_type,
    const std::string& code_verifier) const {
  return GuardEntry("Exception in ExchangeCodeForToken: ", std::nullopt, [&] {
    LogInfo("Exchanging authorization code for access token");
    LogInfo("User type: " + UserTypeWord(UserTypeFromOAuthNumber(user_type)));
    const std::string body =
        AuthorizationCodeGrantBody(code, redirect_uri, client_id_, client_secret_, code_verifier);
    return RequestToken(body, GetTokenEndpoint(user_type), TokenGrant::AuthorizationCode, "");
  });
}

std::optional<murako::OAuthToken> OAuthManager::RefreshAccessToken(
    const std::string& refresh_token, int user_type) const {
  return GuardEntry("Exception in RefreshAccessToken: ", std::nullopt, [&] {
    LogInfo("Refreshing access token");
    LogInfo("User type: " + UserTypeWord(UserTypeFromOAuthNumber(user_type)));
    const std::string body = RefreshTokenGrantBody(refresh_token, client_id_, client_secret_);
    return RequestToken(body, GetTokenEndpoint(user_type), TokenGrant::RefreshToken,
                        refresh_token);
  });
}

std::optional<murako::OAuthToken> OAuthManager::RequestToken(
    const std::string& body, const TokenEndpoint& endpoint, TokenGrant grant,
    const std::string& sent_refresh_token) const {
  const bool exchange = grant == TokenGrant::AuthorizationCode;
  std::optional<std::string> response = PostForm(endpoint.host, kOAuthTokenPath, body,
                                                 endpoint.port);
  if (!response) {
    LogError(exchange ? "Failed to exchange authorization code" : "Failed to refresh token");
    return std::nullopt;
  }
  LogInfo(exchange ? "Token exchange response received" : "Token refresh response received");
  TokenResponseOutcome outcome =
      ParseTokenResponse(*response, grant, sent_refresh_token, CurrentTokenTime());
  for (const TokenLogLine& line : outcome.log_lines) LogAt(line.level, line.text);
  return outcome.token;
}

std::optional<std::string> OAuthManager::HttpPost(const std::wstring& host,
                                                  const std::string& path,
                                                  const std::string& body, uint16_t port) const {
  return GuardEntry([&] { return PostForm(host, path, body, port); },
                    [](const CaughtFailure& caught) {
                      LogError(caught.IsStandard() ? "Exception in HttpPost: " + caught.Text()
                                                   : std::string("Unknown exception in HttpPost"));
                      return std::nullopt;
                    });
}

std::optional<std::string> OAuthManager::PostForm(const std::wstring& host,
                                                  const std::string& path,
                                                  const std::string& body, uint16_t port) const {
  const std::string host_text = WideToUtf8(host);
  LogInfo("Making HTTP POST request to " + host_text + ":" + std::to_string(port) + path);
  // The body carries the client secret and the code or refresh token: those values are not
  // written to the log.
  LogInfo("Request body: " + RedactFormBodyForLog(body));
  const ProxyWalkResult walked = WalkProxyStrategies(
      [&](const ProxyStrategy& strategy) {
        FormPostAttempt attempt{host, path, body, port, strategy.access_type, strategy.name, {}};
        std::optional<std::string> response =
            seams_.attempt ? seams_.attempt(attempt) : TryHttpPost(attempt);
        return ProxyAttemptOutcome{std::move(response), attempt.last_error};
      },
      FormPostWalkLines(host_text));
  return walked.body;
}

std::optional<std::string> OAuthManager::TryHttpPost(const FormPostAttempt& attempt) {
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
  if (!outcome.answered) {
    if (outcome.last_error != 0) attempt.last_error = outcome.last_error;
    return std::nullopt;
  }
  LogInfo("  HTTP response received: " + std::to_string(outcome.body.size()) + " bytes");
  return std::move(outcome.body);
}
