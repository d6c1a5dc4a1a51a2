#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "logger.h"
#include "oauth_token.h"

// Turning a token endpoint answer into an OAuthToken, without touching the log or the clock:
// the caller writes the lines and supplies the time.

enum class TokenGrant { AuthorizationCode, RefreshToken };

struct TokenLogLine {
  LogLevel level;
  std::string text;
};

struct TokenResponseOutcome {
  std::optional<murako::OAuthToken> token;  // empty: no usable token in the answer
  std::vector<TokenLogLine> log_lines;
};

// Reads "access_token", "refresh_token", "token_type" and "expires_in" from a JSON object.
// `sent_refresh_token` is the refresh token of a refresh request (empty for a code exchange):
// an answer that brings no new one, or an empty one, keeps it.
TokenResponseOutcome ParseTokenResponse(const std::string& body, TokenGrant grant,
                                        const std::string& sent_refresh_token,
                                        int64_t obtained_at);

// "expires_in" as a 32-bit lifetime: any JSON number or a boolean converts, a fraction is
// truncated, and values beyond the 32-bit range are held at its bounds. Throws the JSON
// library's type error for other kinds.
int32_t LifetimeSecondsFromJson(const nlohmann::json& value);

// The JSON library's error text without its "[json.exception.kind.number] " prefix.
std::string JsonErrorText(const std::exception& error);
