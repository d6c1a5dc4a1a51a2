#include "cert_text.h"

#include "text_encoding.h"

namespace {

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ULL;

}  // namespace

std::string FormatSerialNumber(const std::vector<uint8_t>& littleEndian) {
  return ToLowerHex(std::vector<uint8_t>(littleEndian.rbegin(), littleEndian.rend()));
}

std::chrono::system_clock::time_point FileTimeToTimePoint(uint64_t fileTime) {
  int64_t units = static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
  int64_t seconds = units / static_cast<int64_t>(kFileTimeUnitsPerSecond);
  return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
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
