#pragma once

// The words every part of sign-in, account linking and session upkeep shares: the user type,
// the tokens of a sign-in and their clock, the credential-storage keys and the environment.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "logger.h"
#include "storage_keys.h"  // the user type's keys and the thumbprint mappings
#include "user_type.h"     // the user type, its parser and its text forms

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

constexpr char kAppLocaleKey[] = "app_locale";

// ---- Environment -------------------------------------------------------------------------

// Reads the stored environment setting ("murako_environment"); tests substitute their own.
using EnvironmentReader = std::function<std::optional<std::string>()>;

std::optional<std::string> ReadStoredEnvironment();
