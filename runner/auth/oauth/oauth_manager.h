#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "auth_vocabulary.h"
#include "flow_proof.h"
#include "murako_api_client.h"
#include "token_response.h"

// One form POST attempt to the token endpoint with one proxy strategy.
struct FormPostAttempt {
  std::wstring host;
  std::string path;
  std::string body;
  uint16_t port = 443;
  ProxyAccessType access_type = ProxyAccessType::Automatic;
  std::string strategy_name;
  // Written by an attempt that failed in WinHTTP: its error. A failure that leaves it unset
  // moves on to the next strategy.
  mutable std::optional<uint32_t> last_error;
};

// The response body of an attempt, or nothing when it failed.
using FormPostFunction = std::function<std::optional<std::string>(const FormPostAttempt&)>;

struct TokenEndpoint {
  std::wstring host;
  uint16_t port = 443;
};

// Seams for tests: the environment setting and the network attempt. Empty members use the
// stored setting and WinHTTP.
struct OAuthManagerSeams {
  EnvironmentReader read_environment;
  FormPostFunction attempt;
};

// The main program's OAuth 2.0 client: the authorization URL the sign-in window opens, the
// authorization-code and refresh-token grants against the token endpoint of the user type's
// host, over its own form-POST transport with the three-step proxy fallback. The environment
// is read afresh by every operation; the client secret is fixed at construction. No method
// throws: failures are empty results plus log lines. User type: 0 citizen, 1 professional; any
// other number is the citizen.
class OAuthManager {
 public:
  OAuthManager(std::string base_url, std::string client_id, std::string client_secret);
  OAuthManager(std::string base_url, std::string client_id, std::string client_secret,
               OAuthManagerSeams seams);

  // Empty when the URL could not be built (logged). A sign-in flow passes its proof (state
  // and PKCE challenge); the log shows the URL with the state and login hint masked.
  std::string BuildAuthorizationUrl(int user_type, const std::string& redirect_uri,
                                    const std::string& locale, const std::string& login_hint,
                                    const AuthorizationRequestProof& proof = {}) const;
  // `code_verifier`: the PKCE verifier of the flow the code was issued to (none: left out).
  std::optional<murako::OAuthToken> ExchangeCodeForToken(
      const std::string& code, const std::string& redirect_uri, int user_type,
      const std::string& code_verifier = {}) const;
  std::optional<murako::OAuthToken> RefreshAccessToken(const std::string& refresh_token,
                                                       int user_type) const;

  // The authorization base address of the user type in the current environment, ending "/".
  std::string GetOAuthDomain(int user_type) const;
  TokenEndpoint GetTokenEndpoint(int user_type) const;
  // The form POST with the automatic, default and no-proxy strategies in turn; only a failure
  // on the network path (name resolution, connection) moves on to the next one.
  std::optional<std::string> HttpPost(const std::wstring& host, const std::string& path,
                                      const std::string& body, uint16_t port) const;

 private:
  bool IsProduction() const;
  // HttpPost without its exception barrier, for the grants, which have their own; an exception
  // in an attempt ends the walk.
  std::optional<std::string> PostForm(const std::wstring& host, const std::string& path,
                                      const std::string& body, uint16_t port) const;
  // One WinHTTP attempt with its own session, connection and request.
  static std::optional<std::string> TryHttpPost(const FormPostAttempt& attempt);
  std::optional<murako::OAuthToken> RequestToken(const std::string& body,
                                                 const TokenEndpoint& endpoint, TokenGrant grant,
                                                 const std::string& sent_refresh_token) const;

  std::string base_url_;
  std::string client_id_;
  std::string client_secret_;
  OAuthManagerSeams seams_;
};
