#include "token_response.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

#include "guarded_entry.h"
#include "log_redaction.h"
#include "untrusted_json.h"

namespace {

constexpr int32_t kDefaultLifetimeSeconds = 3600;
constexpr size_t kLoggedRefreshPrefix = 20;
const std::string kTokenKeys[] = {"access_token", "refresh_token", "id_token"};
// The longest text the log shows of an answer.
constexpr size_t kMaxLoggedAnswer = 4096;

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

// Members that are absent or null take their defaults; a member of another kind is the JSON
// library's type error, and so is a document that is not an object.
murako::OAuthToken ReadToken(const nlohmann::json& document, const std::string& sent_refresh_token,
                             int64_t obtained_at) {
  if (!document.is_object()) (void)document.value("access_token", std::string());
  murako::OAuthToken token;
  token.access_token = OptionalStringMember(document, "access_token").value_or("");
  token.refresh_token = OptionalStringMember(document, "refresh_token").value_or("");
  if (token.refresh_token.empty()) token.refresh_token = sent_refresh_token;
  token.token_type = OptionalStringMember(document, "token_type").value_or("Bearer");
  const auto lifetime = document.find("expires_in");
  token.expires_in = lifetime == document.end() || lifetime->is_null()
                         ? kDefaultLifetimeSeconds
                         : LifetimeSecondsFromJson(*lifetime);
  token.obtained_at = obtained_at;
  return token;
}

std::string MaskTokenValue(const std::string& value) {
  return MaskToken(value, "...[REDACTED]...");
}

bool IsTokenKey(const std::string& key) {
  return std::find(std::begin(kTokenKeys), std::end(kTokenKeys), key) != std::end(kTokenKeys);
}

// A string as JSON text; bytes that are not UTF-8 (a masked value may end inside a character)
// become U+FFFD.
std::string Quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Writes an answer while the JSON library parses it, in the layout of the library's
// indentation of 2, members in the answer's order. The value of a token member, at any depth
// and of any kind, is masked. Nesting beyond the parsing limit stops the parser. Nothing is
// serialised recursively, and the text stops growing at its length limit.
class RedactingWriter {
 public:
  using json = nlohmann::json;

  bool null() { return Scalar(Unless("null")); }
  bool boolean(bool value) { return Scalar(Unless(value ? "true" : "false")); }
  bool number_integer(json::number_integer_t value) {
    return Scalar(Unless(std::to_string(value)));
  }
  bool number_unsigned(json::number_unsigned_t value) {
    return Scalar(Unless(std::to_string(value)));
  }
  bool number_float(json::number_float_t value, const json::string_t&) {
    return Scalar(Unless(json(value).dump()));
  }
  bool string(json::string_t& value) {
    return Scalar(Quoted(token_value_ ? MaskTokenValue(value) : value));
  }
  bool binary(json::binary_t&) { return Scalar(Unless("null")); }  // never in JSON text
  bool start_object(std::size_t) { return Open('{', true); }
  bool key(json::string_t& name) {
    if (hidden_ > 0) return true;
    Separate();
    Write(Quoted(name) + ": ");
    token_value_ = IsTokenKey(name);
    return true;
  }
  bool end_object() { return Close('}'); }
  bool start_array(std::size_t) { return Open('[', false); }
  bool end_array() { return Close(']'); }
  bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

  std::string Text(size_t body_size) const {
    if (text_.size() <= kMaxLoggedAnswer) return text_;
    size_t cut = kMaxLoggedAnswer;
    while (cut > 0 && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) --cut;
    return text_.substr(0, cut) + "... (" + std::to_string(body_size) + " bytes in all)";
  }

 private:
  struct Level {
    bool object;
    bool empty;
  };

  std::string Unless(const std::string& shown) const {
    return token_value_ ? Quoted(kRedactedText) : shown;
  }
  void Write(const std::string& piece) {
    if (text_.size() <= kMaxLoggedAnswer) text_ += piece;
  }
  void Separate() {
    Write(levels_.back().empty ? "\n" : ",\n");
    levels_.back().empty = false;
    Write(std::string(2 * levels_.size(), ' '));
  }
  bool Scalar(const std::string& shown) {
    if (hidden_ > 0) return true;
    if (!levels_.empty() && !levels_.back().object) Separate();
    Write(shown);
    token_value_ = false;
    return true;
  }
  bool Open(char bracket, bool object) {
    if (++depth_ > kMaxJsonNesting) return false;
    if (hidden_ > 0 || token_value_) {
      if (hidden_ == 0) Scalar(Quoted(kRedactedText));
      ++hidden_;
      return true;
    }
    if (!levels_.empty() && !levels_.back().object) Separate();
    Write(std::string(1, bracket));
    levels_.push_back({object, true});
    return true;
  }
  bool Close(char bracket) {
    --depth_;
    if (hidden_ > 0) {
      --hidden_;
      return true;
    }
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) Write("\n" + std::string(2 * levels_.size(), ' '));
    Write(std::string(1, bracket));
    return true;
  }

  std::string text_;
  std::vector<Level> levels_;  // the arrays and objects being written
  int depth_ = 0;              // every open array and object
  int hidden_ = 0;             // open arrays and objects inside a masked value
  bool token_value_ = false;   // the next value is a token member's
};

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

TokenResponseOutcome ParseTokenResponse(const std::string& body, TokenGrant grant,
                                        const std::string& sent_refresh_token,
                                        int64_t obtained_at) {
  const GrantTexts texts = TextsFor(grant);
  TokenResponseOutcome outcome;
  std::optional<murako::OAuthToken> read = GuardEntry(
      [&]() -> std::optional<murako::OAuthToken> {
        return ReadToken(ParseUntrustedJson(body), sent_refresh_token, obtained_at);
      },
      [&](const CaughtFailure& caught) {
        outcome.log_lines.push_back({LogLevel::Error, texts.parse_failed + caught.JsonText()});
        outcome.log_lines.push_back(
            {LogLevel::Error, "Response was: " + RedactTokensForLog(body)});
        return std::nullopt;
      });
  if (!read) return outcome;
  murako::OAuthToken token = std::move(*read);
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
  RedactingWriter writer;
  if (!nlohmann::json::sax_parse(response, &writer)) {
    return "[not shown: " + std::to_string(response.size()) +
           " bytes that do not parse as JSON]";
  }
  return writer.Text(response.size());
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
      redacted += field.substr(0, equals + 1) + kRedactedText;
    } else {
      redacted += field;
    }
    if (field_end == form_body.size()) return redacted;
    redacted += '&';
    field_start = field_end + 1;
  }
}
