#pragma once

// The words every part of sign-in, account linking and session upkeep shares: the user type,
// the tokens of a sign-in and their clock, the credential-storage keys and the environment.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "logger.h"

// ---- User type ---------------------------------------------------------------------------

// User types as the sign-in passes them: 0 citizen, 1 professional. Any other number is
// treated as a citizen, as the endpoint selection does for unknown user types.
constexpr int kOAuthCitizen = 0;
constexpr int kOAuthProfessional = 1;

// "profesional" for 1, "ciudadano" for every other number.
std::string OAuthUserTypeWord(int user_type);
bool IsOAuthProfessional(int user_type);

// ---- Tokens and their clock --------------------------------------------------------------

namespace murako {

// The tokens of one sign-in, as the token endpoint answered them. Handed around as an
// optional: an empty optional means a failed sign-in, exchange or refresh.
struct OAuthToken {
  std::string access_token;   // never empty in a token handed out
  std::string refresh_token;  // may be empty
  std::string token_type = "Bearer";
  int32_t expires_in = 3600;  // lifetime in seconds
  int64_t obtained_at = 0;    // 100-nanosecond units since 1970-01-01 00:00 UTC
};

}  // namespace murako

// Token times are counted in 100-nanosecond units since 1970-01-01 00:00 UTC.
constexpr int64_t kTokenTicksPerSecond = 10000000;

// The system clock in those units, as tokens record the time they were obtained.
int64_t CurrentTokenTime();

// The system clock in whole seconds since 1970, as stored expiries are written.
int64_t CurrentUnixSeconds();

// When a token obtained at `now` (token time units) with a lifetime of `expires_in` seconds
// expires, in whole seconds since 1970, truncated.
int64_t TokenExpirySeconds(int64_t now, int32_t expires_in);

// A log line decided by pure logic and written by its caller.
struct TokenLogLine {
  LogLevel level;
  std::string text;
};

// ---- Credential-storage keys -------------------------------------------------------------

// Keys of one user type ("ciudadano" or "profesional") that a linking writes and reads.
struct LinkingStorageKeys {
  std::string access_token;
  std::string refresh_token;
  std::string token_expiry;
  std::string user_info;
  std::string sign_identities;
};

LinkingStorageKeys LinkingStorageKeysFor(const std::string& user_type_word);

// The two entries that record which identity and user type sign with a certificate, read by
// the signing bridge.
struct ThumbprintMappingKeyPair {
  std::string sign_identity;  // "sign_identity_by_thumbprint_" + thumbprint
  std::string user_type;      // "user_type_by_thumbprint_" + thumbprint
};

ThumbprintMappingKeyPair ThumbprintMappingKeysFor(const std::string& thumbprint);

// Access, refresh and expiry of "ciudadano", then the same of "profesional": the order a
// sign-out deletes them in.
std::vector<std::string> SessionTokenKeysInClearingOrder();

constexpr char kAppLocaleKey[] = "app_locale";

// ---- Environment -------------------------------------------------------------------------

// Reads the stored environment setting ("murako_environment"); tests substitute their own.
using EnvironmentReader = std::function<std::optional<std::string>()>;

std::optional<std::string> ReadStoredEnvironment();
