#pragma once

#include <cstdint>
#include <string>

#include "service_endpoints.h"

// Where the authorization server of a user type and environment is reached. The server runs
// on the same four hosts as the REST API: development hosts on port 8082, production hosts on
// the default HTTPS port.

struct OAuthDomainChoice {
  std::string address;   // "https://" + host [+ ":8082"] + "/"
  std::string log_line;  // e.g. "Using DEVELOPMENT OAuth domain (ciudadano)"
};

struct TokenEndpointChoice {
  std::string host;
  uint16_t port = 443;
  std::string log_line;  // e.g. "Using PRODUCTION token endpoint (profesional)"
};

OAuthDomainChoice ChooseOAuthDomain(const ServiceHosts& hosts, int user_type, bool production);
TokenEndpointChoice ChooseTokenEndpoint(const ServiceHosts& hosts, int user_type,
                                        bool production);
