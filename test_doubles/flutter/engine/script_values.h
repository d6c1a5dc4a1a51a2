#ifndef FLUTTER_STAND_IN_SCRIPT_VALUES_H_
#define FLUTTER_STAND_IN_SCRIPT_VALUES_H_

#include <flutter/encodable_value.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace flutter_stand_in {

using Json = nlohmann::ordered_json;

// A script's JSON as a channel value: null, bool, an integer as int32 when it fits else
// int64, a number with a fraction or exponent as double, string, array as list, object as
// map with string keys; {"$bytes": BASE64}, {"$int64": N} and {"$double": N} force those
// kinds. nullopt with |error| set for what has no value (a bad marker, an integer beyond
// 64 bits).
std::optional<flutter::EncodableValue> ValueFromJson(const Json& json, std::string* error);

// A channel value written back with the same mapping: byte lists as {"$bytes": ...}, an
// int64 that does not fit 32 bits as {"$int64": N}. Typed number lists become arrays; a map
// key that is not a string is written as its JSON text.
Json JsonFromValue(const flutter::EncodableValue& value);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_SCRIPT_VALUES_H_
