#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "channel_values.h"
#include "user_type.h"

// The argument rules shared by both method channels: arguments must be one map; every required
// key must be present (checked for all keys first), then hold the expected kind.
constexpr char kInvalidArgs[] = "INVALID_ARGS";
constexpr char kMissingArg[] = "MISSING_ARG";
constexpr char kInvalidType[] = "INVALID_TYPE";
constexpr char kArgumentsMustBeMap[] = "Arguments must be a map";

struct StringArguments {
  std::optional<ChannelError> error;
  std::vector<std::string> values;  // in the order of the keys, when there is no error
};

std::optional<ChannelError> RequireMap(const flutter::EncodableValue* arguments);

// INVALID_ARGS, MISSING_ARG with `missing_message`, INVALID_TYPE with `type_message`.
StringArguments RequireStrings(const flutter::EncodableValue* arguments,
                               std::initializer_list<const char*> keys,
                               const std::string& missing_message, const std::string& type_message);

// INVALID_ARGS, then MISSING_ARG with `missing_message` when a key is absent; kinds unchecked.
std::optional<ChannelError> RequirePresent(const flutter::EncodableValue* arguments,
                                           std::initializer_list<const char*> keys,
                                           const std::string& missing_message);

// The longest text from the interface that is kept in Credential Manager (a locale, an
// identity identifier, a user type); INVALID_ARGS naming the key when `value` is longer.
constexpr size_t kMaxStoredArgumentBytes = 256;
std::optional<ChannelError> CheckStoredLength(const char* key, const std::string& value);

// The interface's "userType": "ciudadano" selects the citizen; any other text the professional.
UserType ChannelUserType(const std::string& user_type);

// For methods that take only the two words: INVALID_USER_TYPE, "User type must be 'ciudadano' or
// 'profesional'" for any other text.
std::optional<ChannelError> CheckUserTypeWord(const std::string& user_type);

// A number argument of a double or an int, truncated toward zero; any other kind gives 0.
int TruncatedNumber(const flutter::EncodableValue* value);
