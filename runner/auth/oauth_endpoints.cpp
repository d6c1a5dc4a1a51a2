#include "oauth_endpoints.h"

#include "oauth_user_type.h"

namespace {

constexpr uint16_t kProductionPort = 443;

const std::string& HostFor(const ServiceHosts& hosts, int user_type, bool production) {
  if (IsOAuthProfessional(user_type)) {
    return production ? hosts.professional_production : hosts.professional_development;
  }
  return production ? hosts.citizen_production : hosts.citizen_development;
}

std::string EnvironmentWord(bool production) {
  return production ? "PRODUCTION" : "DEVELOPMENT";
}

}  // namespace

OAuthDomainChoice ChooseOAuthDomain(const ServiceHosts& hosts, int user_type, bool production) {
  std::string authority = HostFor(hosts, user_type, production);
  if (!production) authority += ":" + std::to_string(kDevelopmentPort);
  return {"https://" + authority + "/", "Using " + EnvironmentWord(production) +
                                            " OAuth domain (" + OAuthUserTypeWord(user_type) +
                                            ")"};
}

TokenEndpointChoice ChooseTokenEndpoint(const ServiceHosts& hosts, int user_type,
                                        bool production) {
  return {HostFor(hosts, user_type, production),
          production ? kProductionPort : static_cast<uint16_t>(kDevelopmentPort),
          "Using " + EnvironmentWord(production) + " token endpoint (" +
              OAuthUserTypeWord(user_type) + ")"};
}
