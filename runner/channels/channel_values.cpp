#include "channel_values.h"

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

EncodableValue Text(const std::string& text) { return EncodableValue(text); }

EncodableValue Flag(bool value) { return EncodableValue(value); }

EncodableValue TextList(const std::vector<std::string>& texts) {
  EncodableList list;
  list.reserve(texts.size());
  for (const std::string& text : texts) list.push_back(EncodableValue(text));
  return EncodableValue(std::move(list));
}

EncodableValue MapOf(std::initializer_list<std::pair<const char*, EncodableValue>> entries) {
  EncodableMap map;
  for (const auto& entry : entries) map[EncodableValue(entry.first)] = entry.second;
  return EncodableValue(std::move(map));
}

void Put(EncodableValue& map, const char* key, EncodableValue value) {
  if (auto* entries = std::get_if<EncodableMap>(&map)) {
    (*entries)[EncodableValue(key)] = std::move(value);
  }
}

const EncodableMap* ArgumentMap(const EncodableValue* arguments) {
  return arguments != nullptr ? std::get_if<EncodableMap>(arguments) : nullptr;
}

const EncodableValue* Lookup(const EncodableMap& map, const char* key) {
  const auto found = map.find(EncodableValue(key));
  return found != map.end() ? &found->second : nullptr;
}

std::optional<std::string> StringArgument(const EncodableValue* arguments, const char* key) {
  const EncodableMap* map = ArgumentMap(arguments);
  if (map == nullptr) return std::nullopt;
  const EncodableValue* value = Lookup(*map, key);
  if (value == nullptr) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(value)) return *text;
  return std::nullopt;
}
