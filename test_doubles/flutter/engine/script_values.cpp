#include "script_values.h"

#include <cmath>
#include <limits>

#include "byte_text.h"

namespace flutter_stand_in {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

bool FitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

std::optional<int64_t> Int64FromJson(const Json& json) {
  if (json.is_number_integer() && !json.is_number_unsigned()) {
    return json.get<int64_t>();
  }
  if (json.is_number_unsigned() &&
      json.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    return static_cast<int64_t>(json.get<uint64_t>());
  }
  return std::nullopt;
}

// The marker objects: exactly one member whose name starts with "$".
std::optional<EncodableValue> MarkedValue(const Json& object, std::string* error) {
  const std::string& name = object.begin().key();
  const Json& inner = object.begin().value();
  if (name == "$bytes") {
    std::optional<std::vector<uint8_t>> bytes;
    if (inner.is_string()) {
      bytes = BytesFromBase64(inner.get<std::string>());
    }
    if (!bytes) {
      *error = "\"$bytes\" needs a Base64 string";
      return std::nullopt;
    }
    return EncodableValue(*bytes);
  }
  if (name == "$int64") {
    std::optional<int64_t> number = Int64FromJson(inner);
    if (!number) {
      *error = "\"$int64\" needs an integer of at most 64 bits";
      return std::nullopt;
    }
    return EncodableValue(*number);
  }
  if (!inner.is_number()) {
    *error = "\"$double\" needs a number";
    return std::nullopt;
  }
  return EncodableValue(inner.get<double>());
}

bool IsMarker(const Json& object) {
  if (object.size() != 1) {
    return false;
  }
  const std::string& name = object.begin().key();
  return name == "$bytes" || name == "$int64" || name == "$double";
}

template <typename Number>
Json JsonArrayOf(const std::vector<Number>& numbers) {
  Json array = Json::array();
  for (Number number : numbers) {
    array.push_back(number);
  }
  return array;
}

}  // namespace

std::optional<EncodableValue> ValueFromJson(const Json& json, std::string* error) {
  switch (json.type()) {
    case Json::value_t::null:
      return EncodableValue();
    case Json::value_t::boolean:
      return EncodableValue(json.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      std::optional<int64_t> number = Int64FromJson(json);
      if (!number) {
        *error = "integer beyond 64 bits: " + json.dump();
        return std::nullopt;
      }
      if (FitsInt32(*number)) {
        return EncodableValue(static_cast<int32_t>(*number));
      }
      return EncodableValue(*number);
    }
    case Json::value_t::number_float:
      return EncodableValue(json.get<double>());
    case Json::value_t::string:
      return EncodableValue(json.get<std::string>());
    case Json::value_t::array: {
      EncodableList list;
      for (const Json& item : json) {
        std::optional<EncodableValue> value = ValueFromJson(item, error);
        if (!value) {
          return std::nullopt;
        }
        list.push_back(std::move(*value));
      }
      return EncodableValue(std::move(list));
    }
    case Json::value_t::object: {
      if (IsMarker(json)) {
        return MarkedValue(json, error);
      }
      EncodableMap map;
      for (const auto& [key, item] : json.items()) {
        std::optional<EncodableValue> value = ValueFromJson(item, error);
        if (!value) {
          return std::nullopt;
        }
        map[EncodableValue(key)] = std::move(*value);
      }
      return EncodableValue(std::move(map));
    }
    default:
      *error = "no value for JSON " + json.dump();
      return std::nullopt;
  }
}

Json JsonFromValue(const EncodableValue& value) {
  if (const auto* boolean = std::get_if<bool>(&value)) {
    return *boolean;
  }
  if (const auto* int32 = std::get_if<int32_t>(&value)) {
    return *int32;
  }
  if (const auto* int64 = std::get_if<int64_t>(&value)) {
    return FitsInt32(*int64) ? Json(*int64) : Json{{"$int64", *int64}};
  }
  if (const auto* number = std::get_if<double>(&value)) {
    // JSON has no infinities or NaN; nlohmann writes them as null.
    return *number;
  }
  if (const auto* string = std::get_if<std::string>(&value)) {
    return *string;
  }
  if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
    return Json{{"$bytes", Base64FromBytes(*bytes)}};
  }
  if (const auto* int32s = std::get_if<std::vector<int32_t>>(&value)) {
    return JsonArrayOf(*int32s);
  }
  if (const auto* int64s = std::get_if<std::vector<int64_t>>(&value)) {
    return JsonArrayOf(*int64s);
  }
  if (const auto* doubles = std::get_if<std::vector<double>>(&value)) {
    return JsonArrayOf(*doubles);
  }
  if (const auto* floats = std::get_if<std::vector<float>>(&value)) {
    return JsonArrayOf(*floats);
  }
  if (const auto* list = std::get_if<EncodableList>(&value)) {
    Json array = Json::array();
    for (const EncodableValue& item : *list) {
      array.push_back(JsonFromValue(item));
    }
    return array;
  }
  if (const auto* map = std::get_if<EncodableMap>(&value)) {
    Json object = Json::object();
    for (const auto& [key, item] : *map) {
      const auto* name = std::get_if<std::string>(&key);
      object[name ? *name : JsonFromValue(key).dump(-1, ' ', false, Json::error_handler_t::replace)] = JsonFromValue(item);
    }
    return object;
  }
  return nullptr;
}

}  // namespace flutter_stand_in
