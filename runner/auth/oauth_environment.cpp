#include "oauth_environment.h"

#include "secure_storage.h"
#include "service_endpoints.h"

std::optional<std::string> ReadStoredEnvironment() {
  return SecureStorage::GetToken(kEnvironmentKey);
}
