#pragma once

#include <optional>
#include <string>

#include "user_type.h"

// Which remote signing host serves a request: one stored environment setting ("desa" or
// "prod", read afresh every time) and the account's user type choose among four hosts that are
// fixed when the system is built.

constexpr char kEnvironmentKey[] = "murako_environment";
constexpr char kProductionEnvironment[] = "prod";
constexpr int kDevelopmentPort = 8082;

struct ServiceHosts {
  std::string citizen_production;
  std::string citizen_development;
  std::string professional_production;
  std::string professional_development;
};

// The four host names this build was configured with.
ServiceHosts DeploymentServiceHosts();

// Whether `host` is one of the build's two development hosts (letters compared without case).
// Only those are contacted with relaxed server-certificate checks, whatever the stored setting.
bool IsDevelopmentServiceHost(const ServiceHosts& hosts, const std::string& host);

// Only the exact text "prod" means production; absent or any other value is development.
bool IsProductionValue(const std::optional<std::string>& stored_environment);

struct EndpointChoice {
  std::string base_url;     // "https://" + host, with ":8082" for development hosts
  std::string description;  // the log line naming the environment, account kind and host
};

// The host of one account kind and environment.
const std::string& ServiceHostFor(const ServiceHosts& hosts, UserType type, bool production);

// The row of the endpoint table for a user type and environment.
EndpointChoice ChooseApiEndpoint(const ServiceHosts& hosts, UserType type, bool production);

// The citizen row alone, as the main program's own REST calls use it whatever the account.
std::string CitizenApiBaseUrl(const ServiceHosts& hosts, bool production);

// Reads "murako_environment" from credential storage.
bool IsProductionEnvironment();

// Reads the setting, logs the choice and yields the base URL for the user type's word (any
// other text is the citizen's).
std::string GetApiBaseUrl(const std::string& user_type);
