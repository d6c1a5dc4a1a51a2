#include "linking_storage.h"

#include <optional>

#include <nlohmann/json.hpp>

#include "cert_parser.h"
#include "cert_store_manager.h"
#include "guarded_entry.h"
#include "identity_selection.h"
#include "linking_texts.h"
#include "logger.h"
#include "thumbprint_mappings.h"

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

// The thumbprint of the identity's certificate, or why there is none (logged).
ValueOrReason<std::string> IdentityThumbprint(const std::string& id, const MurakoApiClient& api) {
  const ValueOrReason<std::vector<uint8_t>> der = IdentityCertificateDer(id, api);
  ValueOrReason<std::string> thumbprint =
      der ? CertStoreManager::CalculateThumbprint(*der) : Reason{der.reason()};
  if (!thumbprint) LogError("Failed to compute thumbprint for identity: " + id);
  return thumbprint;
}

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
  LogInfo("Identity " + identity.id + " has '" + MappingLabelOf(type) +
          "' label - processing as " + word);
  const ValueOrReason<std::string> thumbprint = IdentityThumbprint(identity.id, api);
  return thumbprint && StoreThumbprintMappings(*thumbprint, identity.id, type,
                                               UserTypeMappingLine::kThumbprintToWord);
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
    const bool identity_mapped = GuardEntry(
        [&] { return MapIdentity(type, identity, api); },
        [&](const CaughtFailure& caught) {
          LogError("Exception while creating mapping for identity " + identity.id + ": " +
                   caught.Text());
          return false;
        });
    if (identity_mapped) ++mapped;
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
