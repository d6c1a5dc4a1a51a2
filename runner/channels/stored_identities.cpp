#include "stored_identities.h"

#include <nlohmann/json.hpp>

#include "channel_values.h"
#include "untrusted_json.h"

using flutter::EncodableList;
using flutter::EncodableValue;

namespace {

std::string MemberText(const nlohmann::json& element, const char* name) {
  const auto found = element.find(name);
  return found != element.end() && found->is_string() ? found->get<std::string>() : std::string();
}

EncodableValue IdentityEntry(const nlohmann::json& element) {
  EncodableValue entry = MapOf({{"id", Text(MemberText(element, "id"))},
                                {"self_url", Text(MemberText(element, "self_url"))},
                                {"status", Text(MemberText(element, "status"))}});
  const auto labels = element.find("labels");
  if (labels != element.end() && labels->is_array()) {
    std::vector<std::string> texts;
    for (const nlohmann::json& label : *labels) {
      if (label.is_string()) texts.push_back(label.get<std::string>());
    }
    Put(entry, "labels", TextList(texts));
  }
  return entry;
}

}  // namespace

EncodableValue StoredIdentityList(const std::string& json) {
  const nlohmann::json parsed = ParseUntrustedJson(json);
  EncodableList list;
  if (!parsed.is_array()) return EncodableValue(std::move(list));
  for (const nlohmann::json& element : parsed) {
    if (element.is_object()) list.push_back(IdentityEntry(element));
  }
  return EncodableValue(std::move(list));
}

std::optional<std::vector<std::string>> StoredIdentityIds(const std::string& json) {
  const nlohmann::json parsed = ParseUntrustedJson(json);
  if (parsed.is_null() || parsed.empty()) return std::nullopt;
  std::vector<std::string> ids;
  if (!parsed.is_array()) return ids;
  for (const nlohmann::json& element : parsed) {
    ids.push_back(element.is_object() ? MemberText(element, "id") : std::string());
  }
  return ids;
}
