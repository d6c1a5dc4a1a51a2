#pragma once

#include <flutter/encodable_value.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a channel handler answers: a value, or an error code and message (never details).
struct ChannelError {
  std::string code;
  std::string message;
};

struct ChannelAnswer {
  flutter::EncodableValue value;
  std::optional<ChannelError> error;

  static ChannelAnswer Success(flutter::EncodableValue value) { return {std::move(value), {}}; }
  static ChannelAnswer Failure(std::string code, std::string message) {
    return {flutter::EncodableValue(), ChannelError{std::move(code), std::move(message)}};
  }
  static ChannelAnswer Failure(ChannelError error) {
    return {flutter::EncodableValue(), std::move(error)};
  }
};

// Building answer values.
flutter::EncodableValue Text(const std::string& text);
flutter::EncodableValue Flag(bool value);
flutter::EncodableValue TextList(const std::vector<std::string>& texts);
flutter::EncodableValue MapOf(
    std::initializer_list<std::pair<const char*, flutter::EncodableValue>> entries);
void Put(flutter::EncodableValue& map, const char* key, flutter::EncodableValue value);

// Reading arguments: the map, or nothing when the arguments are absent or of another kind.
const flutter::EncodableMap* ArgumentMap(const flutter::EncodableValue* arguments);
const flutter::EncodableValue* Lookup(const flutter::EncodableMap& map, const char* key);
// The string under `key`, or nothing when absent or of another kind.
std::optional<std::string> StringArgument(const flutter::EncodableValue* arguments,
                                          const char* key);
