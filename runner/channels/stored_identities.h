#pragma once

// The sign identities an account linking stored as a JSON array under
// "murako_sign_identities_<type>", read back for the interface and for the account status.
// Credential storage is outside the program's control: the text is parsed with the nesting
// limit of untrusted JSON, and both readers throw for text that does not parse.

#include <flutter/encodable_value.h>

#include <optional>
#include <string>
#include <vector>

// The interface's list of maps "id", "self_url", "status" (strings, empty when absent or of
// another kind) and "labels" (the string labels, only for an element whose "labels" is an
// array). Elements that are not objects are skipped; a document that is not an array is an
// empty list.
flutter::EncodableValue StoredIdentityList(const std::string& json);

// The string "id" of each element in stored order ("" when it has none). Nothing when the
// document is null or empty; an empty list when it is neither an array nor empty.
std::optional<std::vector<std::string>> StoredIdentityIds(const std::string& json);
