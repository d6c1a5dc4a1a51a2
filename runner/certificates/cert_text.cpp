#include "cert_text.h"

namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ULL;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FormatSerialNumber(const std::vector<uint8_t>& littleEndian) {
  std::string text;
  text.reserve(littleEndian.size() * 2);
  for (auto it = littleEndian.rbegin(); it != littleEndian.rend(); ++it) {
    text += kHexLower[*it >> 4];
    text += kHexLower[*it & 0x0F];
  }
  return text;
}

std::chrono::system_clock::time_point FileTimeToTimePoint(uint64_t fileTime) {
  int64_t units = static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
  int64_t seconds = units / static_cast<int64_t>(kFileTimeUnitsPerSecond);
  return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

std::string ToUpperHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kHexUpper[byte >> 4];
    text += kHexUpper[byte & 0x0F];
  }
  return text;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
  if (text.empty() || text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexValue(text[i]);
    int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

DescriptionFields ParseDescription(const std::string& description) {
  static const std::string kIdLabel = "MurakoSignIdentityId:";
  static const std::string kTokenLabel = "OAuthToken:";
  DescriptionFields fields;
  size_t id_start = description.find(kIdLabel);
  if (id_start != std::string::npos) {
    id_start += kIdLabel.size();
    size_t id_end = description.find(';', id_start);
    if (id_end != std::string::npos) {
      fields.signIdentityId = description.substr(id_start, id_end - id_start);
    }
  }
  size_t token_start = description.find(kTokenLabel);
  if (token_start != std::string::npos) {
    fields.oauthToken = description.substr(token_start + kTokenLabel.size());
  }
  return fields;
}

std::string EncodeBase64(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text += kBase64Alphabet[(group >> 18) & 0x3F];
    text += kBase64Alphabet[(group >> 12) & 0x3F];
    text += kBase64Alphabet[(group >> 6) & 0x3F];
    text += kBase64Alphabet[group & 0x3F];
  }
  size_t rest = bytes.size() - i;
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
