#include "account_status.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

#include "guarded_entry.h"
#include "logger.h"
#include "secure_storage.h"
#include "storage_keys.h"
#include "session_state.h"
#include "stored_identities.h"
#include "untrusted_json.h"

namespace {

std::string ActiveWord(bool active, const char* inactive) { return active ? "ACTIVE" : inactive; }

AccountStatus MatchedStatus(const AccountStatusInputs& inputs,
                            const InstalledCertificate& certificate) {
  const StoredAccountUser& user = inputs.user;
  if (!inputs.professional) {
    return {certificate.subjectCn, user.dni, user.organization, inputs.session_active};
  }
  return {certificate.subjectCn, !user.cif.empty() ? user.cif : user.dni,
          !user.organization.empty() ? user.organization : certificate.issuerCn,
          inputs.session_active};
}

std::optional<std::vector<std::string>> ReadIdentityIds(UserType type) {
  const auto stored = SecureStorage::GetToken(LinkingStorageKeysFor(type).sign_identities);
  if (!stored || stored->empty()) {
    LogInfo("No " + UserTypeWord(type) + " identities found");
    return std::nullopt;
  }
  return GuardEntry(
      [&]() -> std::optional<std::vector<std::string>> { return StoredIdentityIds(*stored); },
      [](const CaughtFailure& caught) {
        LogError("Error parsing identities JSON: " + caught.JsonText());
        return std::nullopt;
      });
}

std::string Member(const nlohmann::json& object, const char* name, const std::string& fallback) {
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : fallback;
}

StoredAccountUser ReadUser(UserType type) {
  const bool professional = type == UserType::kProfessional;
  StoredAccountUser user;
  const std::string default_organization = professional ? "" : "Murako";
  user.organization = default_organization;
  const auto stored = SecureStorage::GetToken(LinkingStorageKeysFor(type).user_info);
  if (!stored || stored->empty()) {
    LogWarning("No stored user info found for " + UserTypeWord(type));
    return user;
  }
  return GuardEntry(
      [&] {
        const nlohmann::json info = ParseUntrustedJson(*stored);
        if (!info.is_object()) throw std::runtime_error("user info is not an object");
        user.name = Member(info, "name", "");
        user.dni = Member(info, "dni", "");
        user.cif = professional ? Member(info, "cif", "") : "";
        user.organization = Member(info, "organization", default_organization);
        LogInfo(professional ? "Loaded user info: name=" + user.name + ", cif=" + user.cif +
                                   ", organization=" + user.organization
                             : "Loaded user info: name=" + user.name + ", dni=" + user.dni);
        return user;
      },
      [&](const CaughtFailure& caught) {
        LogWarning("Failed to parse user info JSON: " + caught.JsonText());
        StoredAccountUser defaults;
        defaults.organization = default_organization;
        return defaults;
      });
}

}  // namespace

AccountStatusOutcome DecideAccountStatus(const AccountStatusInputs& inputs) {
  const std::string type =
      UserTypeWord(inputs.professional ? UserType::kProfessional : UserType::kCitizen);
  for (const InstalledCertificate& certificate : inputs.certificates) {
    for (const std::string& id : inputs.identity_ids) {
      if (id != certificate.signIdentityId) continue;
      const AccountStatus status = MatchedStatus(inputs, certificate);
      const std::string detail =
          inputs.professional ? " (org: " + status.organizacion : " (dni: " + status.dni;
      return {status, "Found " + type + " certificate: " + certificate.subjectCn + detail +
                          ", session: " + ActiveWord(inputs.session_active, "EXPIRED") + ")"};
    }
  }
  const StoredAccountUser& user = inputs.user;
  if (!user.name.empty() || !user.dni.empty()) {
    AccountStatus status{user.name, user.dni, user.organization, inputs.session_active};
    if (inputs.professional) {
      if (!user.cif.empty()) status.dni = user.cif;
      if (status.organizacion.empty()) status.organizacion = "Murako";
    }
    return {status, "Returning " + type +
                        " info from SecureStorage (cert not in Windows store, session: " +
                        ActiveWord(inputs.session_active, "INACTIVE") + ")"};
  }
  return {std::nullopt, "No installed " + type + " certificates found"};
}

std::optional<AccountStatus> ReadAccountStatus(UserType type) {
  return GuardEntry(
      [&]() -> std::optional<AccountStatus> {
        AccountStatusInputs inputs;
        inputs.professional = type == UserType::kProfessional;
        auto ids = ReadIdentityIds(type);
        if (!ids) return std::nullopt;
        inputs.identity_ids = std::move(*ids);
        inputs.certificates = CertStoreManager::ListInstalledCertificates();
        inputs.user = ReadUser(type);
        inputs.session_active = IsSessionActive(type);
        AccountStatusOutcome outcome = DecideAccountStatus(inputs);
        LogInfo(outcome.log_line);
        return outcome.status;
      },
      [&](const CaughtFailure& caught) {
        LogError("Reading the " + UserTypeWord(type) + " account status failed: " +
                 caught.JsonText());
        return std::nullopt;
      });
}
