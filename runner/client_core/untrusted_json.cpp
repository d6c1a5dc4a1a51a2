#include "untrusted_json.h"

#include <algorithm>
#include <cstddef>

namespace {

// A first pass over the parser's events that only counts nesting; it stops the parser at the
// first level too many, so no deep document is ever built.
class NestingCheck {
 public:
  using json = nlohmann::json;

  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(json::number_integer_t) { return true; }
  bool number_unsigned(json::number_unsigned_t) { return true; }
  bool number_float(json::number_float_t, const json::string_t&) { return true; }
  bool string(json::string_t&) { return true; }
  bool binary(json::binary_t&) { return true; }
  bool start_object(std::size_t) { return Enter(); }
  bool key(json::string_t&) { return true; }
  bool end_object() { return Leave(); }
  bool start_array(std::size_t) { return Enter(); }
  bool end_array() { return Leave(); }
  bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

  bool too_deep() const { return too_deep_; }

 private:
  bool Enter() {
    too_deep_ = ++depth_ > kMaxJsonNesting;
    return !too_deep_;
  }
  bool Leave() {
    --depth_;
    return true;
  }

  int depth_ = 0;
  bool too_deep_ = false;
};

}  // namespace

JsonNestingError::JsonNestingError()
    : std::runtime_error("JSON nested deeper than " + std::to_string(kMaxJsonNesting) +
                         " levels") {}

nlohmann::json ParseUntrustedJson(const std::string& text) {
  NestingCheck check;
  nlohmann::json::sax_parse(text, &check);
  if (check.too_deep()) throw JsonNestingError();
  // Within the limit; a syntax error is reported by the parser with its usual text.
  return nlohmann::json::parse(text);
}

std::optional<std::string> OptionalStringMember(const nlohmann::json& object, const char* name) {
  if (!object.is_object()) return std::nullopt;
  const auto member = object.find(name);
  if (member == object.end() || member->is_null()) return std::nullopt;
  return member->get<std::string>();
}

std::string JsonErrorText(const std::exception& error) {
  std::string text = error.what();
  if (text.rfind("[json.exception.", 0) != 0) return text;
  const size_t end = text.find("] ");
  if (end != std::string::npos) text.erase(0, end + 2);
  // "...; last read: '<input>'; expected '}'" and "number overflow parsing '<input>'".
  const size_t last_read = text.find("; last read:");
  if (last_read != std::string::npos) text.erase(last_read);
  if (text.rfind("number overflow", 0) == 0) text.erase(std::min(text.find(" '"), text.size()));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}
