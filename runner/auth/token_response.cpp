#include "token_response.h"

#include <cmath>
#include <limits>

#include "token_log_redaction.h"

namespace {

constexpr int32_t kDefaultLifetimeSeconds = 3600;
constexpr size_t kLoggedRefreshPrefix = 20;

struct GrantTexts {
  const char* missing_access_token;
  const char* parsed;
  const char* refresh_present;
  const char* refresh_absent;
  const char* parse_failed;
};

GrantTexts TextsFor(TokenGrant grant) {
  if (grant == TokenGrant::RefreshToken) {
    return {"No access_token in refresh response", "\xE2\x9C\x85 Successfully refreshed OAuth token",
            "   \xE2\x9C\x85 Refresh token maintained: ",
            "   \xE2\x9A\xA0\xEF\xB8\x8F No refresh token in refresh response",
            "Failed to parse JSON refresh response: "};
  }
  return {"No access_token in response", "\xE2\x9C\x85 Successfully parsed OAuth token",
          "   \xE2\x9C\x85 Refresh token received: ",
          "   \xE2\x9A\xA0\xEF\xB8\x8F No refresh token in response (offline_access may not be "
          "supported)",
          "Failed to parse JSON response: "};
}

int32_t Clamp(long double value) {
  constexpr auto kLowest = std::numeric_limits<int32_t>::min();
  constexpr auto kHighest = std::numeric_limits<int32_t>::max();
  if (value <= kLowest) return kLowest;
  if (value >= kHighest) return kHighest;
  return static_cast<int32_t>(value);
}

murako::OAuthToken ReadToken(const nlohmann::json& document, const std::string& sent_refresh_token,
                             int64_t obtained_at) {
  murako::OAuthToken token;
  token.access_token = document.value("access_token", std::string());
  token.refresh_token = document.value("refresh_token", sent_refresh_token);
  if (token.refresh_token.empty()) token.refresh_token = sent_refresh_token;
  token.token_type = document.value("token_type", std::string("Bearer"));
  auto lifetime = document.find("expires_in");
  token.expires_in =
      lifetime == document.end() ? kDefaultLifetimeSeconds : LifetimeSecondsFromJson(*lifetime);
  token.obtained_at = obtained_at;
  return token;
}

}  // namespace

int32_t LifetimeSecondsFromJson(const nlohmann::json& value) {
  // Converting a number outside the target range is undefined (floating point) or wraps
  // around (integers), so such values are held at the range's bounds instead.
  if (value.is_number_unsigned()) return Clamp(value.get<uint64_t>());
  if (value.is_number_integer()) return Clamp(value.get<int64_t>());
  if (value.is_number_float()) return Clamp(std::trunc(value.get<double>()));
  return value.get<int32_t>();  // booleans convert; other kinds raise the type error
}

std::string JsonErrorText(const std::exception& error) {
  std::string text = error.what();
  if (text.rfind("[json.exception.", 0) == 0) {
    const size_t end = text.find("] ");
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  return text;
}

TokenResponseOutcome ParseTokenResponse(const std::string& body, TokenGrant grant,
                                        const std::string& sent_refresh_token,
                                        int64_t obtained_at) {
  const GrantTexts texts = TextsFor(grant);
  TokenResponseOutcome outcome;
  murako::OAuthToken token;
  try {
    token = ReadToken(nlohmann::json::parse(body), sent_refresh_token, obtained_at);
  } catch (const std::exception& error) {
    outcome.log_lines.push_back({LogLevel::Error, texts.parse_failed + JsonErrorText(error)});
    outcome.log_lines.push_back({LogLevel::Error, "Response was: " + RedactTokensForLog(body)});
    return outcome;
  }
  if (token.access_token.empty()) {
    outcome.log_lines.push_back({LogLevel::Error, texts.missing_access_token});
    return outcome;
  }
  outcome.log_lines.push_back({LogLevel::Info, texts.parsed});
  outcome.log_lines.push_back(
      {LogLevel::Info, "   Token expires in: " + std::to_string(token.expires_in) +
                           " seconds (" + std::to_string(token.expires_in / 60) + " minutes)"});
  if (!token.refresh_token.empty()) {
    outcome.log_lines.push_back(
        {LogLevel::Info,
         texts.refresh_present + token.refresh_token.substr(0, kLoggedRefreshPrefix) + "..."});
  } else {
    outcome.log_lines.push_back({LogLevel::Warning, texts.refresh_absent});
  }
  outcome.token = std::move(token);
  return outcome;
}
