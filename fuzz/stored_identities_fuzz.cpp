// Stored sign identities: whatever credential storage holds, the interface's list and the
// account status's ids agree, and text that does not parse is refused with an exception.
#include <string>

#include "fuzz_check.h"
#include "stored_identities.h"
#include "untrusted_json.h"

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

const std::string& IdOf(const EncodableValue& entry) {
  const EncodableMap& map = std::get<EncodableMap>(entry);
  return std::get<std::string>(map.at(EncodableValue("id")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  bool parses = true;
  nlohmann::json document;
  try {
    document = ParseUntrustedJson(text);
  } catch (const std::exception&) {
    parses = false;
  }
  EncodableValue list;
  std::optional<std::vector<std::string>> ids;
  try {
    list = StoredIdentityList(text);
    ids = StoredIdentityIds(text);
  } catch (const nlohmann::json::exception&) {
    FUZZ_CHECK(!parses);
    return 0;
  } catch (const JsonNestingError&) {
    FUZZ_CHECK(!parses);
    return 0;
  }
  FUZZ_CHECK(parses);
  const EncodableList& entries = std::get<EncodableList>(list);
  if (!document.is_array()) {
    FUZZ_CHECK(entries.empty());
    return 0;
  }
  FUZZ_CHECK(ids.has_value() == !document.empty());
  if (!ids) return 0;
  FUZZ_CHECK(ids->size() == document.size());
  // Each object element gives one entry, in order, with the same id.
  size_t entry = 0;
  for (size_t i = 0; i < document.size(); ++i) {
    if (!document[i].is_object()) {
      FUZZ_CHECK((*ids)[i].empty());
      continue;
    }
    FUZZ_CHECK(entry < entries.size() && IdOf(entries[entry]) == (*ids)[i]);
    ++entry;
  }
  FUZZ_CHECK(entry == entries.size());
  return 0;
}
