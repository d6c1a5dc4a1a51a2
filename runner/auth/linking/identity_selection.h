#pragma once

#include <string>
#include <vector>

#include "murako_api_types.h"
#include "user_type.h"

// Which of the user's sign identities a linking installs. Citizens: every identity with a
// label containing "vexo" in any letter case, whatever its status. Professionals: the first
// label containing "CIF:" (any case) decides; the text after it, upper-cased and trimmed of
// blanks and tabs, must equal the user's upper-cased CIF, which must not be empty.

struct IdentitySelection {
  std::vector<SignIdentity> selected;  // in list order
  std::vector<std::string> log_lines;  // Info lines, one per professional identity decided
};

IdentitySelection SelectCitizenIdentities(const std::vector<SignIdentity>& identities);
IdentitySelection SelectProfessionalIdentities(const std::vector<SignIdentity>& identities,
                                               const std::string& user_cif);

// Whether an identity's labels make it one of the user type's for the thumbprint mappings: a
// label containing "vexo" (citizens) or "CIF:" (professionals), case-sensitive; the CIF value is
// not compared.
bool HasMappingLabel(UserType type, const std::vector<std::string>& labels);
// The label text HasMappingLabel looks for.
const char* MappingLabelOf(UserType type);
