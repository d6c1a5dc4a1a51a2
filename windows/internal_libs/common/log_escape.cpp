#include "log_escape.h"

#include <cstdio>

namespace {

std::string EscapedCode(const char* format, unsigned code) {
  char text[16];
  std::snprintf(text, sizeof(text), format, code);
  return text;
}

}  // namespace

std::string EscapeForLog(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  const auto byte_at = [&](size_t at) {
    return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
  };
  for (size_t at = 0; at < text.size(); ++at) {
    const unsigned byte = byte_at(at);
    if (byte < 0x20 || byte == 0x7F) {
      escaped += EscapedCode("\\x%02X", byte);
    } else if (byte == 0xC2 && byte_at(at + 1) >= 0x80 && byte_at(at + 1) <= 0x9F) {
      escaped += EscapedCode("\\u%04X", byte_at(at + 1));  // U+0080..U+009F
      at += 1;
    } else if (byte == 0xE2 && byte_at(at + 1) == 0x80 &&
               (byte_at(at + 2) == 0xA8 || byte_at(at + 2) == 0xA9)) {
      escaped += EscapedCode("\\u%04X", 0x2000u + byte_at(at + 2) - 0x80u);  // U+2028, U+2029
      at += 2;
    } else {
      escaped += text[at];
    }
  }
  return escaped;
}
