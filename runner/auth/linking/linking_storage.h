#pragma once

// What a linking writes to credential storage besides the tokens: the thumbprint mappings the
// signing bridge reads, and the user data it keeps as JSON.

#include <cstdint>
#include <string>
#include <vector>

#include "murako_api_client.h"
#include "murako_api_types.h"
#include "user_type.h"
#include "value_or_reason.h"

// The DER of the identity's certificate as the service gives it, or why there is none (logged).
ValueOrReason<std::vector<uint8_t>> IdentityCertificateDer(const std::string& id,
                                                           const MurakoApiClient& api);

// Records, for each enabled identity of the user type, which identity and user type sign with
// its certificate: "sign_identity_by_thumbprint_" + thumbprint and "user_type_by_thumbprint_" +
// thumbprint, read by the signing bridge. Citizens need a label containing "vexo", professionals
// one containing "CIF:" (both case-sensitive; the CIF value is not compared). Returns how many
// identities got both entries. An exception with one identity is logged as "Exception while
// creating mapping for identity <id>: <reason>" and the next identity still gets its mappings.
int CreateThumbprintMappings(UserType type, const std::vector<SignIdentity>& identities,
                             const MurakoApiClient& api);

// The user data a linking keeps in credential storage, as compact JSON with the members in
// this order. Both throw the JSON library's exception for text that is not valid UTF-8.

// {"cif":...,"dni":...,"name":...,"organization":...}
std::string UserInfoJson(const UserInfo& user);
// [{"id":...,"labels":[...],"self_url":...,"status":...},...]
std::string SignIdentitiesJson(const std::vector<SignIdentity>& identities);
