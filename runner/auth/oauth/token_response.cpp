#include "token_response.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "log_redaction.h"

namespace {

constexpr int32_t kDefaultLifetimeSeconds = 3600;
constexpr size_t kLoggedRefreshPrefix = 20;
constexpr char kRedacted[] = "[REDACTED]";
constexpr size_t kWholeRedactionLimit = 20;
constexpr size_t kVisibleEnds = 10;
const char* const kTokenKeys[] = {"access_token", "refresh_token"};

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

std::string MaskTokenValue(const std::string& value) {
  if (value.size() <= kWholeRedactionLimit) return kRedacted;
  return value.substr(0, kVisibleEnds) + "...[REDACTED]..." +
         value.substr(value.size() - kVisibleEnds);
}

// Throws when the text is not JSON, a token is not a string or the result cannot be written.
std::string RedactParsed(const std::string& response) {
  nlohmann::json document = nlohmann::json::parse(response);
  if (document.is_object()) {
    for (const char* key : kTokenKeys) {
      auto member = document.find(key);
      if (member != document.end()) *member = MaskTokenValue(member->get<std::string>());
    }
  }
  return document.dump(2);
}

void RedactKeyTextually(std::string& text, const std::string& key) {
  const std::string pattern = "\"" + key + "\":\"";
  size_t search_from = 0;
  for (;;) {
    const size_t found = text.find(pattern, search_from);
    if (found == std::string::npos) return;
    const size_t value_start = found + pattern.size();
    if (value_start == text.size()) return;
    const size_t value_end = text.find('"', value_start);
    if (value_end == value_start) return;
    // A value the text ends inside is still a token, possibly a whole one: hidden as well.
    const size_t length =
        value_end == std::string::npos ? text.size() - value_start : value_end - value_start;
    text.replace(value_start, length, kRedacted);
    if (value_end == std::string::npos) return;
    search_from = value_start + sizeof(kRedacted) - 1;
  }
}

std::string RedactTextually(std::string text) {
  for (const char* key : kTokenKeys) RedactKeyTextually(text, key);
  return text;
}

bool IsSecretField(const std::string& name) {
  return name == "code" || name == "refresh_token" || name == "client_secret" ||
         name == "code_verifier";
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
         texts.refresh_present + SecretHead(token.refresh_token, kLoggedRefreshPrefix)});
  } else {
    outcome.log_lines.push_back({LogLevel::Warning, texts.refresh_absent});
  }
  outcome.token = std::move(token);
  return outcome;
}

std::string RedactTokensForLog(const std::string& response) {
  try {
    return RedactParsed(response);
  } catch (...) {
    return RedactTextually(response);
  }
}

std::string RedactFormBodyForLog(const std::string& form_body) {
  std::string redacted;
  size_t field_start = 0;
  for (;;) {
    const size_t field_end = std::min(form_body.find('&', field_start), form_body.size());
    const std::string field = form_body.substr(field_start, field_end - field_start);
    const size_t equals = field.find('=');
    if (equals != std::string::npos && equals + 1 < field.size() &&
        IsSecretField(field.substr(0, equals))) {
      redacted += field.substr(0, equals + 1) + kRedacted;
    } else {
      redacted += field;
    }
    if (field_end == form_body.size()) return redacted;
    redacted += '&';
    field_start = field_end + 1;
  }
}
