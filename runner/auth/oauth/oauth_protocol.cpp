#include "oauth_protocol.h"

#include "guarded_entry.h"
#include "logger.h"
#include "url_parser.h"

namespace {

constexpr uint16_t kProductionPort = 443;

std::string EnvironmentWord(bool production) {
  return production ? "PRODUCTION" : "DEVELOPMENT";
}

}  // namespace

std::string UrlEncode(const std::string& text) { return PercentEncode(text); }

std::string ComposeAuthorizationUrl(const std::string& domain, const std::string& client_id,
                                    UserType type, const std::string& redirect_uri,
                                    const std::string& locale, const std::string& login_hint,
                                    const AuthorizationRequestProof& proof) {
  const char* acr_values =
      type == UserType::kProfessional ? kProfessionalAcrValues : kCitizenAcrValues;
  std::string url = domain + kOAuthAuthorizationPath + "?client_id=" + UrlEncode(client_id) +
                    "&response_type=code" + "&redirect_uri=" + UrlEncode(redirect_uri) +
                    "&scope=" + kOAuthScope + "&acr_values=" + acr_values +
                    "&state=" + UrlEncode(proof.state) + "&ui_locales=" + UrlEncode(locale) +
                    "&login_hint=" + UrlEncode(login_hint);
  if (!proof.code_challenge.empty()) {
    url += "&code_challenge=" + UrlEncode(proof.code_challenge) + "&code_challenge_method=S256";
  }
  return url;
}

std::string AuthorizationCodeGrantBody(const std::string& code, const std::string& redirect_uri,
                                       const std::string& client_id,
                                       const std::string& client_secret,
                                       const std::string& code_verifier) {
  std::string body = "grant_type=authorization_code&code=" + UrlEncode(code) +
                     "&redirect_uri=" + UrlEncode(redirect_uri) +
                     "&client_id=" + UrlEncode(client_id) +
                     "&client_secret=" + UrlEncode(client_secret);
  if (!code_verifier.empty()) body += "&code_verifier=" + UrlEncode(code_verifier);
  return body;
}

std::string RefreshTokenGrantBody(const std::string& refresh_token, const std::string& client_id,
                                  const std::string& client_secret) {
  return "grant_type=refresh_token&refresh_token=" + UrlEncode(refresh_token) +
         "&client_id=" + UrlEncode(client_id) + "&client_secret=" + UrlEncode(client_secret);
}

std::string ClientSecretFor(bool production) {
  return production ? kProductionClientSecret : kDevelopmentClientSecret;
}

std::string SelectClientSecretForStoredEnvironment(const EnvironmentReader& read_environment) {
  return GuardEntry(
      [&] {
        const bool production = IsProductionValue(read_environment());
        LogInfo(production ? "Using PRODUCTION OAuth client_secret"
                           : "Using DEVELOPMENT OAuth client_secret");
        return ClientSecretFor(production);
      },
      [](const CaughtFailure& caught) {
        LogWarning("Failed to read environment, using DESA client_secret: " +
                   caught.Text("unknown error"));
        return ClientSecretFor(false);
      });
}

OAuthDomainChoice ChooseOAuthDomain(const ServiceHosts& hosts, UserType type, bool production) {
  // The REST API's base address of the same account kind and environment, with the slash the
  // authorization path is appended to.
  return {ChooseApiEndpoint(hosts, type, production).base_url + "/",
          "Using " + EnvironmentWord(production) + " OAuth domain (" + UserTypeWord(type) + ")"};
}

TokenEndpointChoice ChooseTokenEndpoint(const ServiceHosts& hosts, UserType type, bool production) {
  return {ServiceHostFor(hosts, type, production),
          production ? kProductionPort : static_cast<uint16_t>(kDevelopmentPort),
          "Using " + EnvironmentWord(production) + " token endpoint (" + UserTypeWord(type) +
              ")"};
}
