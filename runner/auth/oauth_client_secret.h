#pragma once

#include <string>

#include "oauth_environment.h"

// The client secret of an environment: production's for "prod" only, development's otherwise.
std::string ClientSecretFor(bool production);

// The secret for a manager created now: reads the stored environment and logs
// "Using PRODUCTION OAuth client_secret" or "Using DEVELOPMENT OAuth client_secret"; a failed
// read gives the development secret and a Warning.
std::string SelectClientSecretForStoredEnvironment(
    const EnvironmentReader& read_environment = ReadStoredEnvironment);
