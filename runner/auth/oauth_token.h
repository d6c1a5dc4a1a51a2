#pragma once

#include <cstdint>
#include <string>

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
