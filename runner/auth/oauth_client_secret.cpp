#include "oauth_client_secret.h"

#include <exception>

#include "logger.h"
#include "oauth_protocol.h"
#include "service_endpoints.h"

std::string ClientSecretFor(bool production) {
  return production ? kProductionClientSecret : kDevelopmentClientSecret;
}

std::string SelectClientSecretForStoredEnvironment(const EnvironmentReader& read_environment) {
  try {
    const bool production = IsProductionValue(read_environment());
    LogInfo(production ? "Using PRODUCTION OAuth client_secret"
                       : "Using DEVELOPMENT OAuth client_secret");
    return ClientSecretFor(production);
  } catch (const std::exception& error) {
    LogWarning(std::string("Failed to read environment, using DESA client_secret: ") +
               error.what());
  } catch (...) {
    LogWarning("Failed to read environment, using DESA client_secret: unknown error");
  }
  return ClientSecretFor(false);
}
