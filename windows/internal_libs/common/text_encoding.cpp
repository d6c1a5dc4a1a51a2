#include "text_encoding.h"

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Index(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FormatHex(const std::vector<uint8_t>& bytes, size_t count, const char* digits,
                      const char* separator) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
    text += separator;
  }
  return text;
}

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";

}  // namespace

std::string EncodeBase64(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text += kBase64Alphabet[(group >> 18) & 0x3F];
    text += kBase64Alphabet[(group >> 12) & 0x3F];
    text += kBase64Alphabet[(group >> 6) & 0x3F];
    text += kBase64Alphabet[group & 0x3F];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t group = bytes[i] << 16;
    if (rest == 2) group |= bytes[i + 1] << 8;
    text += kBase64Alphabet[(group >> 18) & 0x3F];
    text += kBase64Alphabet[(group >> 12) & 0x3F];
    text += rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
    text += '=';
  }
  return text;
}

std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t group = 0;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    const int index = Base64Index(text[i]);
    if (index < 0) return std::nullopt;
    group = (group << 6) | static_cast<uint32_t>(index);
    if (i % 4 == 3) {
      bytes.push_back(static_cast<uint8_t>(group >> 16));
      bytes.push_back(static_cast<uint8_t>(group >> 8));
      bytes.push_back(static_cast<uint8_t>(group));
      group = 0;
    }
  }
  // Padding bits must be zero, as every encoder writes them.
  if (padding == 2) {
    if (group & 0x0F) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(group >> 4));
  } else if (padding == 1) {
    if (group & 0x03) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(group >> 10));
    bytes.push_back(static_cast<uint8_t>(group >> 2));
  }
  return bytes;
}

std::string ToUpperHex(const std::vector<uint8_t>& bytes, const char* separator) {
  return FormatHex(bytes, bytes.size(), kUpperDigits, separator);
}

std::string ToLowerHex(const std::vector<uint8_t>& bytes) {
  return FormatHex(bytes, bytes.size(), kLowerDigits, "");
}

std::string UpperHexPreview(const std::vector<uint8_t>& bytes, size_t count) {
  return FormatHex(bytes, count, kUpperDigits, " ") + "...";
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
  if (text.empty() || text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}
