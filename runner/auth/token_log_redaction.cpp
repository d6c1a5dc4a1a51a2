#include "token_log_redaction.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace {

constexpr char kRedacted[] = "[REDACTED]";
constexpr size_t kWholeRedactionLimit = 20;
constexpr size_t kVisibleEnds = 10;
const char* const kTokenKeys[] = {"access_token", "refresh_token"};

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
  return name == "code" || name == "refresh_token" || name == "client_secret";
}

}  // namespace

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
