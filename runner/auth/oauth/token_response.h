#pragma once

// What the token endpoint answers and what the log may show of the token traffic, without
// touching the log or the clock: the caller writes the lines and supplies the time.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "auth_vocabulary.h"

enum class TokenGrant { AuthorizationCode, RefreshToken };

struct TokenResponseOutcome {
  std::optional<murako::OAuthToken> token;  // empty: no usable token in the answer
  std::vector<TokenLogLine> log_lines;
};

// Reads "access_token", "refresh_token", "token_type" and "expires_in" from a JSON object
// (parsed with the nesting limit of untrusted JSON); a member that is absent or null takes its
// default. `sent_refresh_token` is the refresh token of a refresh request (empty for a code
// exchange): an answer that brings no new one, or an empty one, keeps it.
TokenResponseOutcome ParseTokenResponse(const std::string& body, TokenGrant grant,
                                        const std::string& sent_refresh_token,
                                        int64_t obtained_at);

// "expires_in" as a 32-bit lifetime: any JSON number or a boolean converts, a fraction is
// truncated, and values beyond the 32-bit range are held at its bounds. Throws the JSON
// library's type error for other kinds.
int32_t LifetimeSecondsFromJson(const nlohmann::json& value);

// A token endpoint answer as the log may show it, written from the parser's events, never
// from the text itself: members in the answer's order, indented by 2 as the JSON library
// writes a document, cut after 4,096 characters. The value of every "access_token",
// "refresh_token" and "id_token" member, at any depth, becomes its MaskToken preview around
// "...[REDACTED]..." (at most 10 characters at each end, a quarter of the value in all), or
// "[REDACTED]" for a value too short or of another kind. Text that does not parse as JSON within the nesting limit
// shows none of its content, only its length.
std::string RedactTokensForLog(const std::string& response);

// A token request's form body with the values of "code", "refresh_token", "client_secret" and
// "code_verifier" replaced by "[REDACTED]"; field names and every other value stay readable.
std::string RedactFormBodyForLog(const std::string& form_body);
