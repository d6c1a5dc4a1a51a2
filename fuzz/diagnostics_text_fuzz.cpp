// Diagnostics texts: the last lines of any log text are its own last lines, and status codes
// and timestamps always fit their formats.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

#include "diagnostics_text.h"
#include "fuzz_check.h"

namespace {

void CheckLastLines(const std::string& text, int count) {
  const std::string tail = LastLines(text, count);
  size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  std::string terminated = text;
  if (!text.empty() && text.back() != '\n') {
    ++lines;
    terminated += '\n';
  }
  const size_t wanted = count > 0 ? std::min(lines, static_cast<size_t>(count)) : 0;
  FUZZ_CHECK(static_cast<size_t>(std::count(tail.begin(), tail.end(), '\n')) == wanted);
  FUZZ_CHECK(tail.size() <= terminated.size());
  FUZZ_CHECK(terminated.compare(terminated.size() - tail.size(), tail.size(), tail) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int32_t status = input.ConsumeIntegral<int32_t>();
  const std::string hex = StatusHex(status);
  FUZZ_CHECK(hex.size() == 10 && hex.rfind("0x", 0) == 0);
  FUZZ_CHECK(static_cast<uint32_t>(std::stoul(hex.substr(2), nullptr, 16)) ==
             static_cast<uint32_t>(status));
  int fields[6];
  for (int& field : fields) field = input.ConsumeIntegral<int>();
  const std::string stamp =
      FileTimestampText(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
  FUZZ_CHECK(stamp.size() < 32);
  const int count = input.ConsumeIntegralInRange<int>(-2, 40);
  CheckLastLines(input.ConsumeRemainingBytesAsString(), count);
  return 0;
}
