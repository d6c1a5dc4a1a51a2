#include "linking_rules.h"

#include <algorithm>
#include <exception>
#include <optional>

#include <nlohmann/json.hpp>

#include "cert_parser.h"
#include "cert_store_manager.h"
#include "log_redaction.h"
#include "logger.h"
#include "secure_storage.h"
#include "untrusted_json.h"

std::string InstalledCountMessage(int installed, int total) {
  return std::to_string(installed) + " de " + std::to_string(total) + " certificados instalados";
}

std::string TokenNoticeText(UserType type, int32_t expires_in) {
  return "Token " + UserTypeWord(type) + " (expira en " + std::to_string(expires_in / 60) + " min)";
}

std::string UserInfoStoredLine(const UserInfo& user, bool professional) {
  const std::string identifier = professional ? ", cif: " + user.cif : ", dni: " + user.dni;
  return std::string("  ") + linking_marker::kCheck + " User info stored (name: " + user.name +
         identifier + ")";
}

LinkedUserInfo LinkedUserInfoFor(const UserInfo& user, UserType type) {
  const bool professional = type == UserType::kProfessional;
  LinkedUserInfo info;
  info.nombre = user.name;
  info.dni = professional && !user.cif.empty() ? user.cif : user.dni;
  info.tipo = UserTypeWord(type);
  info.organizacion = user.organization;
  return info;
}

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

ValueOrReason<std::vector<uint8_t>> IdentityCertificateDer(const std::string& id,
                                                           const MurakoApiClient& api) {
  const std::optional<IdentityDetails> details = api.GetIdentityDetails(id);
  if (!details || details->certificate.empty()) {
    const std::string reason = "Failed to get certificate for identity: " + id;
    LogError(reason);
    return Reason{reason};
  }
  return CertParser::DecodeBase64(details->certificate);
}

namespace {

const char* MappingLabelOf(UserType type) {
  return type == UserType::kCitizen ? kCitizenLabel : kCifLabel;
}

// The thumbprint of the identity's certificate, or why there is none (logged).
ValueOrReason<std::string> IdentityThumbprint(const std::string& id, const MurakoApiClient& api) {
  const ValueOrReason<std::vector<uint8_t>> der = IdentityCertificateDer(id, api);
  ValueOrReason<std::string> thumbprint =
      der ? CertStoreManager::CalculateThumbprint(*der) : Reason{der.reason()};
  if (!thumbprint) LogError("Failed to compute thumbprint for identity: " + id);
  return thumbprint;
}

bool StoreMappings(const std::string& user_type, const std::string& id,
                   const std::string& thumbprint) {
  const ThumbprintMappingKeyPair keys = ThumbprintMappingKeysFor(thumbprint);
  const std::string& identity_key = keys.sign_identity;
  const bool identity_stored = SecureStorage::StoreToken(identity_key, id);
  if (identity_stored) {
    LogInfo(std::string("  ") + linking_marker::kCheck + " Stored thumbprint mapping: " +
            identity_key + " " + linking_marker::kArrow + " " + id);
  } else {
    LogError("Failed to store mapping for thumbprint: " + thumbprint);
  }
  const bool type_stored = SecureStorage::StoreToken(keys.user_type, user_type);
  if (type_stored) {
    LogInfo("Stored user_type: " + thumbprint + " " + linking_marker::kArrow + " " + user_type);
  } else {
    LogError("Failed to store user_type for thumbprint: " + thumbprint);
  }
  return identity_stored && type_stored;
}

}  // namespace

bool HasMappingLabel(UserType type, const std::vector<std::string>& labels) {
  const char* wanted = MappingLabelOf(type);
  return std::any_of(labels.begin(), labels.end(), [wanted](const std::string& label) {
    return label.find(wanted) != std::string::npos;
  });
}

namespace {

// One identity's mappings; false when it is skipped or a step failed (logged).
bool MapIdentity(UserType type, const SignIdentity& identity, const MurakoApiClient& api) {
  const std::string word = UserTypeWord(type);
  if (identity.status != "enabled") {
    LogInfo("Skipping identity " + identity.id + " (status: " + identity.status + ")");
    return false;
  }
  if (!HasMappingLabel(type, identity.labels)) {
    LogInfo("Skipping identity " + identity.id + " (no matching label for " + word + ")");
    return false;
  }
  LogInfo("Identity " + identity.id + " has '" + MappingLabelOf(type) + "' label - processing as " +
          word);
  const ValueOrReason<std::string> thumbprint = IdentityThumbprint(identity.id, api);
  return thumbprint && StoreMappings(word, identity.id, *thumbprint);
}

}  // namespace

int CreateThumbprintMappings(UserType type, const std::vector<SignIdentity>& identities,
                             const MurakoApiClient& api) {
  int mapped = 0;
  LogInfo("Creating thumbprint" + std::string(linking_marker::kArrow) +
          "sign_identity_id mappings for KSP...");
  LogInfo("Filtering identities for user_type: " + UserTypeWord(type));
  // A failure with one identity is logged and the next one still gets its mappings.
  for (const SignIdentity& identity : identities) {
    try {
      if (MapIdentity(type, identity, api)) ++mapped;
    } catch (...) {
      LogError("Exception while creating mapping for identity " + identity.id + ": " +
               CurrentExceptionText());
    }
  }
  return mapped;
}

std::string UserInfoJson(const UserInfo& user) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json["cif"] = user.cif;
  json["dni"] = user.dni;
  json["name"] = user.name;
  json["organization"] = user.organization;
  return json.dump();
}

std::string SignIdentitiesJson(const std::vector<SignIdentity>& identities) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const SignIdentity& identity : identities) {
    nlohmann::ordered_json entry = nlohmann::ordered_json::object();
    entry["id"] = identity.id;
    entry["labels"] = identity.labels;
    entry["self_url"] = identity.self_url;
    entry["status"] = identity.status;
    list.push_back(std::move(entry));
  }
  return list.dump();
}

LoginHintOutcome LoginHintFromStoredUserInfo(const std::optional<std::string>& stored) {
  LoginHintOutcome outcome;
  if (!stored || stored->empty()) return outcome;
  try {
    outcome.hint = ParseUntrustedJson(*stored).value("dni", std::string());
    outcome.log_line = TokenLogLine{LogLevel::Info,
                                    "  Found existing DNI for login_hint: " +
                                                       MaskIdentityNumber(outcome.hint)};
  } catch (const std::exception& error) {
    outcome.hint.clear();
    outcome.log_line = TokenLogLine{
        LogLevel::Warning, std::string("  Could not parse user info for login_hint: ") + JsonErrorText(error)};
  }
  return outcome;
}

std::string ReadLoginHint(UserType type) {
  const LoginHintOutcome outcome = LoginHintFromStoredUserInfo(
      SecureStorage::GetToken(LinkingStorageKeysFor(type).user_info));
  if (outcome.log_line) LogAt(outcome.log_line->level, outcome.log_line->text);
  return outcome.hint;
}
