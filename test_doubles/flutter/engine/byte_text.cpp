#include "byte_text.h"

#include <cstring>

namespace flutter_stand_in {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string HexFromBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text.push_back(kHexDigits[byte >> 4]);
    text.push_back(kHexDigits[byte & 0x0f]);
  }
  return text;
}

std::optional<std::vector<uint8_t>> BytesFromHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ') {
      continue;
    }
    int value = HexDigitValue(c);
    if (value < 0) {
      return std::nullopt;
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  if (high >= 0) {
    return std::nullopt;
  }
  return bytes;
}

std::string Base64FromBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (count > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (count > 2) group |= bytes[i + 2];
    for (size_t digit = 0; digit < 4; ++digit) {
      text.push_back(digit <= count ? kBase64Alphabet[(group >> (18 - 6 * digit)) & 0x3f] : '=');
    }
  }
  return text;
}

std::optional<std::vector<uint8_t>> BytesFromBase64(const std::string& text) {
  std::string body = text;
  while (!body.empty() && body.back() == '=') {
    body.pop_back();
  }
  if (text.size() - body.size() > 2 || body.size() % 4 == 1) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  int bit_count = 0;
  for (char c : body) {
    const char* digit = c ? std::strchr(kBase64Alphabet, c) : nullptr;
    if (!digit) {
      return std::nullopt;
    }
    int value = static_cast<int>(digit - kBase64Alphabet);
    bits = bits << 6 | static_cast<uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      bytes.push_back(static_cast<uint8_t>(bits >> bit_count));
    }
  }
  return bytes;
}

}  // namespace flutter_stand_in
