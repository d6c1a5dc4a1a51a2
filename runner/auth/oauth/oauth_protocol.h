#pragma once

// The authorization server's OAuth 2.0 protocol as values: its fixed parameters, the
// authorization URL, the form bodies of the two token grants, the client secret of an
// environment and where the server of a user type is reached.

#include <cstdint>
#include <string>

#include "auth_vocabulary.h"
#include "flow_proof.h"
#include "service_endpoints.h"

constexpr char kOAuthClientId[] = "lumetra";
constexpr char kOAuthRedirectUri[] = "oauth-swift://oauth-callback";
// Appended to the authorization base address, which ends in "/".
constexpr char kOAuthAuthorizationPath[] = "trustedx-authserver/oauth/murako";
constexpr char kOAuthTokenPath[] = "/trustedx-authserver/oauth/murako/token";
constexpr char kProductionClientSecret[] = "5k82nw7_p3ahz9_tq4m";
constexpr char kDevelopmentClientSecret[] = "8rw3mc5_x2fdk7";

// Already percent-encoded; inserted into the authorization URL as they stand.
constexpr char kOAuthScope[] =
    "urn%3Amurako%3Aidentity%3Aglobal"
    "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aprofile"
    "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aregister";
constexpr char kCitizenAcrValues[] =
    "urn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Avexo"
    "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Acitizen";
constexpr char kProfessionalAcrValues[] =
    "urn%3Amurako%3Aauthentication%3Aflow%3Avex_otp"
    "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Aprof";

// Percent-encoding for URL query values and form bodies: ASCII letters, digits and "-._~"
// stay; every other byte, each byte of a multi-byte UTF-8 character included, becomes "%"
// and two lower-case hexadecimal digits. A space is "%20", never "+".
std::string UrlEncode(const std::string& text);

// The authorization URL the embedded browser opens. `domain` is the authorization base
// address (ending in "/"). Client id, redirect URI, state, locale and login hint are
// percent-encoded; "state" (empty without a proof) and "login_hint" are always present; a
// proof with a challenge adds "code_challenge" and "code_challenge_method=S256" at the end.
std::string ComposeAuthorizationUrl(const std::string& domain, const std::string& client_id,
                                    UserType type, const std::string& redirect_uri,
                                    const std::string& locale, const std::string& login_hint,
                                    const AuthorizationRequestProof& proof = {});

// Form bodies (application/x-www-form-urlencoded) of the two token grants, every value
// percent-encoded, fields in the order the authorization server documents; a code exchange
// with a PKCE verifier ends with "code_verifier".
std::string AuthorizationCodeGrantBody(const std::string& code, const std::string& redirect_uri,
                                       const std::string& client_id,
                                       const std::string& client_secret,
                                       const std::string& code_verifier = {});
std::string RefreshTokenGrantBody(const std::string& refresh_token, const std::string& client_id,
                                  const std::string& client_secret);

// The client secret of an environment: production's for "prod" only, development's otherwise.
std::string ClientSecretFor(bool production);

// The secret for a manager created now: reads the stored environment and logs
// "Using PRODUCTION OAuth client_secret" or "Using DEVELOPMENT OAuth client_secret"; a failed
// read gives the development secret and a Warning.
std::string SelectClientSecretForStoredEnvironment(
    const EnvironmentReader& read_environment = ReadStoredEnvironment);

// The authorization server runs on the same four hosts as the REST API: development hosts on
// port 8082, production hosts on the default HTTPS port.

struct OAuthDomainChoice {
  std::string address;   // "https://" + host [+ ":8082"] + "/"
  std::string log_line;  // e.g. "Using DEVELOPMENT OAuth domain (ciudadano)"
};

struct TokenEndpointChoice {
  std::string host;
  uint16_t port = 443;
  std::string log_line;  // e.g. "Using PRODUCTION token endpoint (profesional)"
};

OAuthDomainChoice ChooseOAuthDomain(const ServiceHosts& hosts, UserType type, bool production);
TokenEndpointChoice ChooseTokenEndpoint(const ServiceHosts& hosts, UserType type, bool production);
