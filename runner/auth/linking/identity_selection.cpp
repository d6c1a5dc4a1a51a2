#include "identity_selection.h"

#include <algorithm>

#include "ascii_text.h"
#include "linking_texts.h"

namespace {

const char kCitizenLabel[] = "vexo";
const char kCifLabel[] = "CIF:";

bool HasCitizenLabel(const SignIdentity& identity) {
  return std::any_of(identity.labels.begin(), identity.labels.end(), [](const std::string& label) {
    return ToLowerAscii(label).find(kCitizenLabel) != std::string::npos;
  });
}

}  // namespace

IdentitySelection SelectCitizenIdentities(const std::vector<SignIdentity>& identities) {
  IdentitySelection selection;
  for (const SignIdentity& identity : identities) {
    if (HasCitizenLabel(identity)) selection.selected.push_back(identity);
  }
  return selection;
}

IdentitySelection SelectProfessionalIdentities(const std::vector<SignIdentity>& identities,
                                               const std::string& user_cif) {
  const std::string wanted = ToUpperAscii(user_cif);
  IdentitySelection selection;
  for (const SignIdentity& identity : identities) {
    for (const std::string& label : identity.labels) {
      const std::string upper = ToUpperAscii(label);
      const size_t marker = upper.find(kCifLabel);
      if (marker == std::string::npos) continue;
      const std::string label_cif =
          TrimBlanksAndTabs(upper.substr(marker + sizeof(kCifLabel) - 1));
      if (!wanted.empty() && label_cif == wanted) {
        selection.log_lines.push_back(std::string("    ") + linking_marker::kCheck +
                                      " CIF match: " + label_cif + " == " + wanted);
        selection.selected.push_back(identity);
      } else {
        selection.log_lines.push_back(std::string("    ") + linking_marker::kNextTrack +
                                      " CIF mismatch: " + label_cif + " != " + wanted +
                                      ", skipping");
      }
      break;
    }
  }
  return selection;
}

const char* MappingLabelOf(UserType type) {
  return type == UserType::kCitizen ? kCitizenLabel : kCifLabel;
}

bool HasMappingLabel(UserType type, const std::vector<std::string>& labels) {
  const char* wanted = MappingLabelOf(type);
  return std::any_of(labels.begin(), labels.end(), [wanted](const std::string& label) {
    return label.find(wanted) != std::string::npos;
  });
}
