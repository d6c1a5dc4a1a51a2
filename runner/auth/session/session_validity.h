#pragma once

// Whether a stored session is still usable, decided from values alone: the caller reads the
// access token and expiry text from credential storage and supplies the clock, then writes the
// log lines.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "auth_vocabulary.h"
#include "value_or_reason.h"

struct SessionValidity {
  bool active = false;
  std::vector<TokenLogLine> log_lines;
};

// An expiry text parsed as a signed decimal integer, or the reason it is not one.
// Accepts an optional sign followed by decimal digits and nothing else: trailing characters,
// blanks and values outside 64 bits are refused rather than read in part.
ValueOrReason<int64_t> ParseExpirySeconds(const std::string& text);

// expiry - now, held at the 64-bit bounds instead of overflowing.
int64_t RemainingSeconds(int64_t expiry, int64_t now);

// `now` in whole seconds since 1970-01-01 00:00 UTC. Active exactly when now < expiry.
SessionValidity DecideSessionValidity(const std::optional<std::string>& access_token,
                                      const std::optional<std::string>& expiry_text,
                                      int64_t now);
