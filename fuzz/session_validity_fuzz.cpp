// Stored token expiries: exactly the texts of a sign and decimal digits within 64 bits are
// read, each as its value; the remaining time never overflows.
#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "fuzz_check.h"
#include "session_validity.h"

namespace {

bool IsSignedDecimal(const std::string& text) {
  const size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (digits == text.size()) return false;
  return text.find_first_not_of("0123456789", digits) == std::string::npos;
}

void CheckExpiry(const std::string& text, int64_t now) {
  const ValueOrReason<int64_t> expiry = ParseExpirySeconds(text);
  errno = 0;
  const long long reference = std::strtoll(text.c_str(), nullptr, 10);
  const bool in_range = errno != ERANGE;
  FUZZ_CHECK(expiry.has_value() == (IsSignedDecimal(text) && in_range));
  if (expiry) FUZZ_CHECK(*expiry == reference);

  const SessionValidity validity = DecideSessionValidity(std::string("token"), text, now);
  FUZZ_CHECK(validity.active == (expiry && now < *expiry));
  FUZZ_CHECK(validity.log_lines.size() == 1);
  if (!expiry) return;
  const __int128 exact = static_cast<__int128>(*expiry) - now;
  constexpr __int128 kLowest = std::numeric_limits<int64_t>::min();
  constexpr __int128 kHighest = std::numeric_limits<int64_t>::max();
  const __int128 held = exact < kLowest ? kLowest : exact > kHighest ? kHighest : exact;
  FUZZ_CHECK(RemainingSeconds(*expiry, now) == held);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int64_t now = input.ConsumeIntegral<int64_t>();
  const std::string text = input.ConsumeRemainingBytesAsString();
  if (text.find('\0') != std::string::npos) return 0;  // stored texts end at their length
  CheckExpiry(text, now);
  return 0;
}
