// The nesting limit of JSON from servers and storage: a document within the limit reads as the
// JSON library reads it, a deeper one is refused with JsonNestingError, anything else with the
// library's own error (a parse error, or out_of_range for a number beyond a double); members
// read as strings only when they are strings.
#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "untrusted_json.h"

namespace {

// How deep the brackets of the text nest, read from its characters alone: for a valid document
// that is its nesting depth, and a parser that went deeper than N levels before it stopped has
// seen at least N unclosed brackets. The JSON library reads a NUL as the end of its input, so
// the count stops there too.
int BracketDepth(const std::string& text) {
  int depth = 0, deepest = 0;
  bool in_string = false, escaped = false;
  for (const char c : text) {
    if (c == '\0') break;
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

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
  const bool valid = nlohmann::json::accept(text);
  const int depth = BracketDepth(text);
  try {
    const nlohmann::json document = ParseUntrustedJson(text);
    FUZZ_CHECK(valid && depth <= kMaxJsonNesting);
    FUZZ_CHECK(document == nlohmann::json::parse(text));
    CheckMembers(document);
  } catch (const JsonNestingError&) {
    FUZZ_CHECK(depth > kMaxJsonNesting);
  } catch (const nlohmann::json::exception&) {
    FUZZ_CHECK(!valid);
  }
  return 0;
}
