#include "oauth_endpoints.h"

#include "oauth_user_type.h"

namespace {

constexpr uint16_t kProductionPort = 443;

std::string EnvironmentWord(bool production) {
  return production ? "PRODUCTION" : "DEVELOPMENT";
}

}  // namespace

OAuthDomainChoice ChooseOAuthDomain(const ServiceHosts& hosts, int user_type, bool production) {
  // The REST API's base address of the same account kind and environment, with the slash the
  // authorization path is appended to.
  const std::string word = OAuthUserTypeWord(user_type);
  return {ChooseApiEndpoint(hosts, word, production).base_url + "/",
          "Using " + EnvironmentWord(production) + " OAuth domain (" + word + ")"};
}

TokenEndpointChoice ChooseTokenEndpoint(const ServiceHosts& hosts, int user_type,
                                        bool production) {
  return {ServiceHostFor(hosts, IsOAuthProfessional(user_type), production),
          production ? kProductionPort : static_cast<uint16_t>(kDevelopmentPort),
          "Using " + EnvironmentWord(production) + " token endpoint (" +
              OAuthUserTypeWord(user_type) + ")"};
}
