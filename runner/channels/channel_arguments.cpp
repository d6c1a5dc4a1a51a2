#include "channel_arguments.h"

#include <cmath>
#include <limits>

using flutter::EncodableMap;
using flutter::EncodableValue;

std::optional<ChannelError> RequireMap(const EncodableValue* arguments) {
  if (ArgumentMap(arguments) == nullptr) return ChannelError{kInvalidArgs, kArgumentsMustBeMap};
  return std::nullopt;
}

std::optional<ChannelError> RequirePresent(const EncodableValue* arguments,
                                           std::initializer_list<const char*> keys,
                                           const std::string& missing_message) {
  const EncodableMap* map = ArgumentMap(arguments);
  if (map == nullptr) return ChannelError{kInvalidArgs, kArgumentsMustBeMap};
  for (const char* key : keys) {
    if (Lookup(*map, key) == nullptr) return ChannelError{kMissingArg, missing_message};
  }
  return std::nullopt;
}

StringArguments RequireStrings(const EncodableValue* arguments,
                               std::initializer_list<const char*> keys,
                               const std::string& missing_message,
                               const std::string& type_message) {
  StringArguments result;
  result.error = RequirePresent(arguments, keys, missing_message);
  if (result.error) return result;
  const EncodableMap& map = *ArgumentMap(arguments);
  for (const char* key : keys) {
    const auto* text = std::get_if<std::string>(Lookup(map, key));
    if (text == nullptr) {
      result.error = ChannelError{kInvalidType, type_message};
      result.values.clear();
      return result;
    }
    result.values.push_back(*text);
  }
  return result;
}

std::optional<ChannelError> CheckStoredLength(const char* key, const std::string& value) {
  if (value.size() <= kMaxStoredArgumentBytes) return std::nullopt;
  return ChannelError{kInvalidArgs, std::string(key) + " is longer than " +
                                        std::to_string(kMaxStoredArgumentBytes) + " bytes"};
}

UserType ChannelUserType(const std::string& user_type) {
  return ParseUserType(user_type, UserType::kProfessional);
}

std::optional<ChannelError> CheckUserTypeWord(const std::string& user_type) {
  if (IsUserTypeWord(user_type)) return std::nullopt;
  return ChannelError{"INVALID_USER_TYPE", "User type must be 'ciudadano' or 'profesional'"};
}

int TruncatedNumber(const EncodableValue* value) {
  if (value == nullptr) return 0;
  if (const auto* whole = std::get_if<int32_t>(value)) return *whole;
  if (const auto* number = std::get_if<double>(value)) {
    // A value outside the int range (or not a number) cannot be a window size.
    if (!std::isfinite(*number) || std::fabs(*number) >= std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(*number);
  }
  return 0;
}
