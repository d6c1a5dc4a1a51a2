// The nesting limit of JSON from servers and storage: a document within the limit reads as the
// JSON library reads it, a deeper one is refused with JsonNestingError, anything else with the
// library's own error (a parse error, or out_of_range for a number beyond a double); members
// read as strings only when they are strings.
#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "untrusted_json.h"

namespace {

// How deep the text nests up to where the parser stops, counted independently.
class DepthMeter {
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

  int deepest = 0;

 private:
  bool Enter() {
    deepest = std::max(deepest, ++depth_);
    return true;
  }
  bool Leave() {
    --depth_;
    return true;
  }
  int depth_ = 0;
};

void CheckMembers(const nlohmann::json& document) {
  if (!document.is_object()) return;
  for (auto member = document.begin(); member != document.end(); ++member) {
    // A key with a NUL in it names another member as a C string.
    if (member.key().find('\0') != std::string::npos) continue;
    try {
      const std::optional<std::string> text = OptionalStringMember(document, member.key().c_str());
      FUZZ_CHECK(text.has_value() == member.value().is_string());
      if (text) FUZZ_CHECK(*text == member.value().get<std::string>());
    } catch (const nlohmann::json::type_error&) {
      FUZZ_CHECK(!member.value().is_null() && !member.value().is_string());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  DepthMeter meter;
  const bool valid = nlohmann::json::sax_parse(text, &meter);
  try {
    const nlohmann::json document = ParseUntrustedJson(text);
    FUZZ_CHECK(valid && meter.deepest <= kMaxJsonNesting);
    FUZZ_CHECK(document == nlohmann::json::parse(text));
    CheckMembers(document);
  } catch (const JsonNestingError&) {
    FUZZ_CHECK(meter.deepest > kMaxJsonNesting);
  } catch (const nlohmann::json::exception&) {
    FUZZ_CHECK(!valid && meter.deepest <= kMaxJsonNesting);
  }
  return 0;
}
