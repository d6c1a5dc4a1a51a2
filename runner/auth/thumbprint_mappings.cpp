#include "thumbprint_mappings.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "cert_parser.h"
#include "cert_store_manager.h"
#include "linking_texts.h"
#include "logger.h"
#include "secure_storage.h"

namespace {

const char* MappingLabelOf(const std::string& user_type) {
  if (user_type == "ciudadano") return "vexo";
  if (user_type == "profesional") return "CIF:";
  return nullptr;
}

// The thumbprint of the identity's certificate, or empty (logged).
std::string IdentityThumbprint(const std::string& id, const MurakoApiClient& api) {
  const std::optional<IdentityDetails> details = api.GetIdentityDetails(id);
  if (!details || details->certificate.empty()) {
    LogError("Failed to get certificate for identity: " + id);
    return std::string();
  }
  const std::optional<std::vector<uint8_t>> der = CertParser::DecodeBase64(details->certificate);
  const std::string thumbprint = der ? CertStoreManager::CalculateThumbprint(*der) : std::string();
  if (thumbprint.empty()) LogError("Failed to compute thumbprint for identity: " + id);
  return thumbprint;
}

bool StoreMappings(const std::string& user_type, const std::string& id,
                   const std::string& thumbprint) {
  const std::string identity_key = "sign_identity_by_thumbprint_" + thumbprint;
  const bool identity_stored = SecureStorage::StoreToken(identity_key, id);
  if (identity_stored) {
    LogInfo(std::string("  ") + linking_marker::kCheck + " Stored thumbprint mapping: " +
            identity_key + " " + linking_marker::kArrow + " " + id);
  } else {
    LogError("Failed to store mapping for thumbprint: " + thumbprint);
  }
  const bool type_stored = SecureStorage::StoreToken("user_type_by_thumbprint_" + thumbprint, user_type);
  if (type_stored) {
    LogInfo("Stored user_type: " + thumbprint + " " + linking_marker::kArrow + " " + user_type);
  } else {
    LogError("Failed to store user_type for thumbprint: " + thumbprint);
  }
  return identity_stored && type_stored;
}

}  // namespace

bool HasMappingLabel(const std::string& user_type, const std::vector<std::string>& labels) {
  const char* wanted = MappingLabelOf(user_type);
  return wanted != nullptr &&
         std::any_of(labels.begin(), labels.end(), [wanted](const std::string& label) {
           return label.find(wanted) != std::string::npos;
         });
}

int CreateThumbprintMappings(const std::string& user_type, const std::vector<SignIdentity>& identities,
                             const MurakoApiClient& api) {
  int mapped = 0;
  try {
    LogInfo("Creating thumbprint" + std::string(linking_marker::kArrow) +
            "sign_identity_id mappings for KSP...");
    LogInfo("Filtering identities for user_type: " + user_type);
    for (const SignIdentity& identity : identities) {
      if (identity.status != "enabled") {
        LogInfo("Skipping identity " + identity.id + " (status: " + identity.status + ")");
        continue;
      }
      if (!HasMappingLabel(user_type, identity.labels)) {
        LogInfo("Skipping identity " + identity.id + " (no matching label for " + user_type + ")");
        continue;
      }
      LogInfo("Identity " + identity.id +
              (user_type == "ciudadano" ? " has 'vexo' label - processing as ciudadano"
                                        : " has 'CIF:' label - processing as profesional"));
      const std::string thumbprint = IdentityThumbprint(identity.id, api);
      if (thumbprint.empty()) continue;
      if (StoreMappings(user_type, identity.id, thumbprint)) ++mapped;
    }
  } catch (const std::exception& error) {
    LogError(std::string("CreateThumbprintMappings failed: ") + error.what());
  } catch (...) {
    LogError("CreateThumbprintMappings failed: unknown exception");
  }
  return mapped;
}
