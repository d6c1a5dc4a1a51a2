#include "url_encode.h"

namespace {

bool IsUnreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
         byte == '~';
}

}  // namespace

std::string UrlEncode(const std::string& text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string encoded;
  encoded.reserve(text.size() * 3);
  for (char character : text) {
    const unsigned char byte = static_cast<unsigned char>(character);
    if (IsUnreserved(byte)) {
      encoded += character;
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}
