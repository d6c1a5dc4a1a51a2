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
  using std::chrono::seconds;
  using Clock = std::chrono::system_clock;
  // Truncated toward 1970, as integer division of a signed count would.
  const int64_t whole_seconds =
      fileTime >= kUnixEpochAsFileTime
          ? static_cast<int64_t>((fileTime - kUnixEpochAsFileTime) / kFileTimeUnitsPerSecond)
          : -static_cast<int64_t>((kUnixEpochAsFileTime - fileTime) / kFileTimeUnitsPerSecond);
  // FILETIME spans 1601 to 60056; a clock counting nanoseconds in 64 bits spans 1677 to 2262
  // only, so times beyond the clock's ends are held there instead of overflowing.
  constexpr int64_t kLatest =
      std::chrono::duration_cast<seconds>(Clock::time_point::max().time_since_epoch()).count();
  constexpr int64_t kEarliest =
      std::chrono::duration_cast<seconds>(Clock::time_point::min().time_since_epoch()).count();
  if (whole_seconds > kLatest) return Clock::time_point::max();
  if (whole_seconds < kEarliest) return Clock::time_point::min();
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(seconds(whole_seconds)));
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
