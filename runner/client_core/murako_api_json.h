#pragma once

#include <string>

#include "murako_api_types.h"

// JSON of the REST API. The parsers throw nlohmann::json exceptions for invalid JSON and for a
// member of an unexpected type, and JsonNestingError for a document nested too deeply; a
// missing or null string member reads as empty.

UserInfo ParseUserInfoJson(const std::string& body);
IdentityDetails ParseIdentityDetailsJson(const std::string& body);

// Compact JSON with "sign_identity_id", "signature_algorithm" and either "data" (when filled)
// or "digest_value", never both.
std::string BuildSignatureRequestJson(const SignatureRequest& request);
