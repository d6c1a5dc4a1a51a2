#include "identity_filter.h"

#include <algorithm>

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

std::string ToLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string ToUpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string TrimBlanksAndTabs(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

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
        selection.log_lines.push_back(std::string("    ") + linking_marker::kCheck + " CIF match: " + label_cif + " == " + wanted);
        selection.selected.push_back(identity);
      } else {
        selection.log_lines.push_back(std::string("    ") + linking_marker::kNextTrack + " CIF mismatch: " + label_cif +
                                      " != " + wanted + ", skipping");
      }
      break;
    }
  }
  return selection;
}
