#include "session_validity.h"

#include <limits>

namespace {

constexpr char kInvalidNumber[] = "invalid stoll argument";
constexpr char kOutOfRange[] = "stoll argument out of range";

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ValueOrReason<int64_t> ParseExpirySeconds(const std::string& text) {
  size_t position = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) position = 1;
  if (position == text.size()) return Reason{kInvalidNumber};

  // Accumulated as a negative value so that the lowest 64-bit value is reachable.
  constexpr int64_t kLowest = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  for (; position < text.size(); ++position) {
    const char c = text[position];
    if (!IsDecimalDigit(c)) return Reason{kInvalidNumber};
    const int digit = c - '0';
    if (value < (kLowest + digit) / 10) return Reason{kOutOfRange};
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == kLowest) return Reason{kOutOfRange};
    value = -value;
  }
  return value;
}

int64_t RemainingSeconds(int64_t expiry, int64_t now) {
  constexpr int64_t kLowest = std::numeric_limits<int64_t>::min();
  constexpr int64_t kHighest = std::numeric_limits<int64_t>::max();
  if (now > 0 && expiry < kLowest + now) return kLowest;
  if (now < 0 && expiry > kHighest + now) return kHighest;
  return expiry - now;
}

SessionValidity DecideSessionValidity(const std::optional<std::string>& access_token,
                                      const std::optional<std::string>& expiry_text,
                                      int64_t now) {
  SessionValidity validity;
  if (!access_token || access_token->empty()) {
    validity.log_lines.push_back({LogLevel::Info, "No access token found, session is inactive"});
    return validity;
  }
  if (!expiry_text || expiry_text->empty()) {
    validity.log_lines.push_back({LogLevel::Warning, "No token expiry found, assuming expired"});
    return validity;
  }
  const ValueOrReason<int64_t> expiry = ParseExpirySeconds(*expiry_text);
  if (!expiry) {
    validity.log_lines.push_back(
        {LogLevel::Warning, "Failed to parse token expiry: " + expiry.reason()});
    return validity;
  }
  validity.active = now < *expiry;
  validity.log_lines.push_back(
      {LogLevel::Info, std::string("Token expiry check: ") + (validity.active ? "VALID" : "EXPIRED") +
                           " (remaining: " +
                           std::to_string(RemainingSeconds(*expiry, now)) + "s)"});
  return validity;
}
