// OAuthManager: the authorization URL, the endpoints of the current environment and the two
// token grants. The form POST transport is in oauth_manager_http.cpp.
#include "oauth_manager.h"

#include <exception>
#include <utility>

#include "authorization_url.h"
#include "logger.h"
#include "oauth_endpoints.h"
#include "oauth_protocol.h"
#include "oauth_user_type.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "token_clock.h"
#include "token_request_body.h"

namespace {

// The text of whatever escaped an operation, for its Error line.
std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown error";
  }
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
                                                const std::string& login_hint) const {
  try {
    LogInfo("Generating OAuth authorization URL with locale=" + locale +
            ", login_hint=" + (login_hint.empty() ? std::string("(empty)") : login_hint));
    std::string url = ComposeAuthorizationUrl(GetOAuthDomain(user_type), client_id_, user_type,
                                              redirect_uri, locale, login_hint);
    LogInfo("Authorization URL: " + url);
    return url;
  } catch (...) {
    LogError("Failed to build authorization URL: " + CurrentExceptionText());
  }
  return std::string();
}

std::string OAuthManager::GetOAuthDomain(int user_type) const {
  const ServiceHosts hosts = DeploymentServiceHosts();
  try {
    OAuthDomainChoice choice = ChooseOAuthDomain(hosts, user_type, IsProduction());
    LogInfo(choice.log_line);
    return choice.address;
  } catch (...) {
    LogWarning("Failed to read environment setting, using DEVELOPMENT: " +
               CurrentExceptionText());
  }
  return ChooseOAuthDomain(hosts, user_type, false).address;
}

TokenEndpoint OAuthManager::GetTokenEndpoint(int user_type) const {
  const ServiceHosts hosts = DeploymentServiceHosts();
  TokenEndpointChoice choice;
  try {
    choice = ChooseTokenEndpoint(hosts, user_type, IsProduction());
    LogInfo(choice.log_line);
  } catch (...) {
    LogWarning("Failed to read environment setting, using DEVELOPMENT token endpoint: " +
               CurrentExceptionText());
    choice = ChooseTokenEndpoint(hosts, user_type, false);
  }
  return {Utf8ToWide(choice.host), choice.port};
}

std::optional<murako::OAuthToken> OAuthManager::ExchangeCodeForToken(
    const std::string& code, const std::string& redirect_uri, int user_type) const {
  try {
    LogInfo("Exchanging authorization code for access token");
    LogInfo("User type: " + OAuthUserTypeWord(user_type));
    return RequestToken(AuthorizationCodeGrantBody(code, redirect_uri, client_id_, client_secret_),
                        user_type, TokenGrant::AuthorizationCode, std::string());
  } catch (...) {
    LogError("Exception in ExchangeCodeForToken: " + CurrentExceptionText());
  }
  return std::nullopt;
}

std::optional<murako::OAuthToken> OAuthManager::RefreshAccessToken(
    const std::string& refresh_token, int user_type) const {
  try {
    LogInfo("Refreshing access token");
    LogInfo("User type: " + OAuthUserTypeWord(user_type));
    return RequestToken(RefreshTokenGrantBody(refresh_token, client_id_, client_secret_),
                        user_type, TokenGrant::RefreshToken, refresh_token);
  } catch (...) {
    LogError("Exception in RefreshAccessToken: " + CurrentExceptionText());
  }
  return std::nullopt;
}

std::optional<murako::OAuthToken> OAuthManager::RequestToken(
    const std::string& body, int user_type, TokenGrant grant,
    const std::string& sent_refresh_token) const {
  const bool exchange = grant == TokenGrant::AuthorizationCode;
  const TokenEndpoint endpoint = GetTokenEndpoint(user_type);
  std::optional<std::string> response = HttpPost(endpoint.host, kOAuthTokenPath, body,
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
