#pragma once

#include <string>
#include <vector>

#include "murako_api_client.h"
#include "murako_api_types.h"

// Records, for each enabled identity of the user type, which identity and user type sign with
// its certificate: "sign_identity_by_thumbprint_" + thumbprint and "user_type_by_thumbprint_" +
// thumbprint, read by the signing bridge. Citizens need a label containing "vexo", professionals
// one containing "CIF:" (both case-sensitive; the CIF value is not compared). Returns how many
// identities got both entries. Never throws.
int CreateThumbprintMappings(const std::string& user_type, const std::vector<SignIdentity>& identities,
                             const MurakoApiClient& api);

// Whether an identity's labels make it one of `user_type`'s for the mappings.
bool HasMappingLabel(const std::string& user_type, const std::vector<std::string>& labels);
