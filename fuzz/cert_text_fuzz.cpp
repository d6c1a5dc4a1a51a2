// Certificate texts: description fields read back what was written, FILETIME values of the
// whole 64-bit range convert without overflow and in order, serial numbers format every byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>

#include "cert_text.h"
#include "fuzz_check.h"

namespace {

constexpr char kIdLabel[] = "MurakoSignIdentityId:";
constexpr char kTokenLabel[] = "OAuthToken:";

void CheckDescription(FuzzedDataProvider& input) {
  const std::string free_text = input.ConsumeRandomLengthString(256);
  const DescriptionFields any = ParseDescription(free_text);
  FUZZ_CHECK(free_text.find(any.signIdentityId) != std::string::npos);
  FUZZ_CHECK(free_text.find(any.oauthToken) != std::string::npos);

  const std::string id = input.ConsumeRandomLengthString(64);
  const std::string token = input.ConsumeRandomLengthString(256);
  if (id.find(';') != std::string::npos || id.find(kIdLabel) != std::string::npos ||
      id.find(kTokenLabel) != std::string::npos) {
    return;
  }
  const DescriptionFields written =
      ParseDescription(std::string(kIdLabel) + id + ";" + kTokenLabel + token);
  FUZZ_CHECK(written.signIdentityId == id);
  FUZZ_CHECK(written.oauthToken == token);
}

void CheckFileTimes(FuzzedDataProvider& input) {
  using std::chrono::seconds;
  const uint64_t a = input.ConsumeIntegral<uint64_t>();
  const uint64_t b = input.ConsumeIntegral<uint64_t>();
  const auto earlier = FileTimeToTimePoint(a < b ? a : b);
  const auto later = FileTimeToTimePoint(a < b ? b : a);
  FUZZ_CHECK(earlier <= later);
  // Within the clock's range the result is exact to the second.
  const auto point = FileTimeToTimePoint(a);
  using Clock = std::chrono::system_clock;
  if (point != Clock::time_point::max() && point != Clock::time_point::min()) {
    const __int128 expected = (static_cast<__int128>(a) - 116444736000000000LL) / 10000000;
    const auto got = std::chrono::duration_cast<seconds>(point.time_since_epoch()).count();
    FUZZ_CHECK(got == expected);
  }
}

void CheckSerial(FuzzedDataProvider& input) {
  const std::vector<uint8_t> little_endian = input.ConsumeBytes<uint8_t>(64);
  const std::string text = FormatSerialNumber(little_endian);
  FUZZ_CHECK(text.size() == 2 * little_endian.size());
  for (size_t i = 0; i < little_endian.size(); ++i) {
    const uint8_t byte = little_endian[little_endian.size() - 1 - i];
    FUZZ_CHECK(std::stoi(text.substr(2 * i, 2), nullptr, 16) == byte);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  CheckFileTimes(input);
  CheckSerial(input);
  CheckDescription(input);
  return 0;
}
