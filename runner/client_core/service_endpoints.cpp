#include "service_endpoints.h"

#include <cctype>
#include <exception>

#include "guarded_entry.h"
#include "logger.h"
#include "secure_storage.h"
#include "storage_keys.h"

// The build passes the host names as deployment constants (see CMakeLists.txt).
#ifndef SENDARO_CITIZEN_PRODUCTION_HOST
#error "SENDARO_CITIZEN_PRODUCTION_HOST must be defined by the build"
#endif

namespace {

std::string DevelopmentAuthority(const std::string& host) {
  return host + ":" + std::to_string(kDevelopmentPort);
}

}  // namespace

// Built per call, not kept in a function-local static: the signing bridge is loaded and unloaded
// at every signature, and the runtime's guard for such statics leaves handles behind each time.
ServiceHosts DeploymentServiceHosts() {
  return {SENDARO_CITIZEN_PRODUCTION_HOST, SENDARO_CITIZEN_DEVELOPMENT_HOST,
          SENDARO_PROFESSIONAL_PRODUCTION_HOST, SENDARO_PROFESSIONAL_DEVELOPMENT_HOST};
}

bool IsDevelopmentServiceHost(const ServiceHosts& hosts, const std::string& host) {
  auto same = [&host](const std::string& known) {
    if (known.empty() || known.size() != host.size()) return false;
    for (size_t i = 0; i < known.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(known[i])) !=
          std::tolower(static_cast<unsigned char>(host[i]))) {
        return false;
      }
    }
    return true;
  };
  return same(hosts.citizen_development) || same(hosts.professional_development);
}

bool IsEnvironmentName(const std::string& text) {
  return text == kProductionEnvironment || text == kDevelopmentEnvironment;
}

bool IsProductionValue(const std::optional<std::string>& stored_environment) {
  return stored_environment.has_value() && *stored_environment == kProductionEnvironment;
}

const std::string& ServiceHostFor(const ServiceHosts& hosts, UserType type, bool production) {
  if (type == UserType::kProfessional) return production ? hosts.professional_production : hosts.professional_development;
  return production ? hosts.citizen_production : hosts.citizen_development;
}

EndpointChoice ChooseApiEndpoint(const ServiceHosts& hosts, UserType type, bool production) {
  const std::string kind = UserTypeWord(type);
  const std::string& host = ServiceHostFor(hosts, type, production);
  if (production) {
    return {"https://" + host, "Using PRODUCTION environment (" + kind + "): " + host};
  }
  const std::string authority = DevelopmentAuthority(host);
  return {"https://" + authority, "Using DEVELOPMENT environment (" + kind + "): " + authority};
}

std::string CitizenApiBaseUrl(const ServiceHosts& hosts, bool production) {
  return ChooseApiEndpoint(hosts, UserType::kCitizen, production).base_url;
}

std::string GetApiBaseUrl(UserType type, const std::optional<std::string>& stored_environment) {
  const ServiceHosts& hosts = DeploymentServiceHosts();
  return GuardEntry(
      [&] {
        EndpointChoice choice =
            ChooseApiEndpoint(hosts, type, IsProductionValue(stored_environment));
        LogInfo(choice.description);
        return choice.base_url;
      },
      [&](const CaughtFailure& caught) {
        LogWarning("Failed to read environment setting, using DEVELOPMENT ciudadano: " +
                   caught.Text("unknown error"));
        return CitizenApiBaseUrl(hosts, false);
      });
}

std::string TokenEnvironmentValue(const std::optional<std::string>& stored_environment) {
  return IsProductionValue(stored_environment) ? kProductionEnvironment : kDevelopmentEnvironment;
}

bool TokenEnvironmentMatches(const std::optional<std::string>& recorded,
                             const std::optional<std::string>& stored_environment) {
  if (!recorded || !IsEnvironmentName(*recorded)) return false;
  return IsProductionValue(recorded) == IsProductionValue(stored_environment);
}

bool RecordTokenEnvironment(UserType type, const TokenStoreFunction& store) {
  const std::string value = TokenEnvironmentValue(SecureStorage::GetToken(kEnvironmentKey));
  const TokenStoreFunction& write = store ? store : SecureStorage::StoreToken;
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  if (write(keys.token_environment, value)) return true;
  LogError("Failed to record the environment of the " + UserTypeWord(type) +
           " tokens - the tokens are deleted, sign in again");
  for (const std::string& key : {keys.access_token, keys.refresh_token}) {
    if (!SecureStorage::DeleteToken(key)) LogError("Failed to delete " + key);
  }
  return false;
}

std::string GetApiBaseUrl(UserType type) {
  return GetApiBaseUrl(type, SecureStorage::GetToken(kEnvironmentKey));
}

bool TokensBelongToStoredEnvironment(UserType type) {
  const std::optional<std::string> stored_environment = SecureStorage::GetToken(kEnvironmentKey);
  const std::optional<std::string> recorded =
      SecureStorage::GetToken(LinkingStorageKeysFor(type).token_environment);
  if (TokenEnvironmentMatches(recorded, stored_environment)) return true;
  const std::string hosts = TokenEnvironmentValue(stored_environment) + " hosts";
  const std::string word = UserTypeWord(type);
  if (!recorded) {
    LogError("The tokens of " + word + " have no recorded environment - not sent to the " + hosts);
  } else {
    LogError("The tokens of " + word + " were obtained in the " + *recorded +
             " environment - not sent to the " + hosts);
  }
  return false;
}

bool SameTokenEnvironment(const TokenEnvironmentReading& first,
                          const TokenEnvironmentReading& second) {
  return first.setting == second.setting && first.recorded == second.recorded;
}

ValueOrReason<TokenEnvironmentReading> ReadTokenEnvironment(UserType type,
                                                            std::string access_token) {
  constexpr int kAttempts = 3;
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    TokenEnvironmentReading reading{access_token, SecureStorage::GetToken(kEnvironmentKey),
                                    SecureStorage::GetToken(keys.token_environment)};
    if (!reading.recorded) {
      return Reason{"The OAuth token has no recorded environment. Sign in again."};
    }
    if (!TokenEnvironmentMatches(reading.recorded, reading.setting)) {
      return Reason{"The OAuth token was obtained in another environment. Sign in again."};
    }
    const std::optional<std::string> again = SecureStorage::GetToken(keys.access_token);
    if (again == access_token) return reading;
    if (!again || again->empty()) break;
    access_token = *again;
  }
  return Reason{"The OAuth token changed while its environment was read."};
}
