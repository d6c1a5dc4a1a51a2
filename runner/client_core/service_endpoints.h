#pragma once

#include <functional>
#include <optional>
#include <string>

#include "user_type.h"
#include "value_or_reason.h"

// Which remote signing host serves a request: one stored environment setting ("desa" or
// "prod", read afresh every time) and the account's user type choose among four hosts that are
// fixed when the system is built.

constexpr char kEnvironmentKey[] = "murako_environment";
constexpr char kProductionEnvironment[] = "prod";
constexpr char kDevelopmentEnvironment[] = "desa";
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
// Whether `text` names an environment: exactly "prod" or "desa".
bool IsEnvironmentName(const std::string& text);

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

// Logs the choice and yields the base URL for the user type in the environment of the stored
// setting `stored_environment`.
std::string GetApiBaseUrl(UserType type, const std::optional<std::string>& stored_environment);
// The same for the setting as stored now.
std::string GetApiBaseUrl(UserType type);

// ---- The environment a user type's tokens belong to ----------------------------------------

// Tokens are obtained from one environment's authorization server and go only to that
// environment's hosts. The environment ("prod" or "desa") is recorded beside the user type's
// tokens under "oauth_token_environment_" + user type, after the tokens are stored. Tokens
// without a record (stored by an earlier version, or whose record could not be written) go to
// no host: the user signs in again.

// The value recorded for tokens obtained while the setting holds `stored_environment`.
std::string TokenEnvironmentValue(const std::optional<std::string>& stored_environment);

// Whether tokens recorded as `recorded` may go to the hosts of `stored_environment`: only a
// record "prod" or "desa" naming the same environment allows it.
bool TokenEnvironmentMatches(const std::optional<std::string>& recorded,
                             const std::optional<std::string>& stored_environment);

using TokenStoreFunction = std::function<bool(const std::string& key, const std::string& value)>;

// Records the stored setting as the environment of the user type's tokens, written with
// `store` (SecureStorage::StoreToken when empty). When it cannot be written, the user type's
// access and refresh tokens are deleted (they could go to no host, or to the hosts a stale
// record names) and the answer is false; both logged.
bool RecordTokenEnvironment(UserType type, const TokenStoreFunction& store = {});

// Reads the setting and the recorded environment: true when the user type's tokens may go to
// the hosts of the setting as stored now. Logs a refusal at Error level.
bool TokensBelongToStoredEnvironment(UserType type);

// ---- An access token and the environment it goes out in ----------------------------------

// A user type's access token with the setting and the record read after it.
struct TokenEnvironmentReading {
  std::string access_token;
  std::optional<std::string> setting;   // "murako_environment" as stored
  std::optional<std::string> recorded;  // the record beside the user type's tokens
};
// The same setting and record (whatever the tokens).
bool SameTokenEnvironment(const TokenEnvironmentReading& first,
                          const TokenEnvironmentReading& second);

// For the access token `access_token` of the user type read just before: reads the setting and
// the record, then the access token once more. The setting is stored before any token of a
// new environment, so a token still stored after both reads belongs to what they read; a token
// replaced meanwhile (a renewal) is read with them again, a few times. The reading when the
// token may go to the setting's hosts; otherwise the reason, one of
// "The OAuth token has no recorded environment. Sign in again.",
// "The OAuth token was obtained in another environment. Sign in again." and
// "The OAuth token changed while its environment was read." (not logged here).
ValueOrReason<TokenEnvironmentReading> ReadTokenEnvironment(UserType type,
                                                            std::string access_token);
