#include "account_linking.h"

#include <utility>

#include "cert_parser.h"
#include "cert_store_manager.h"
#include "ascii_text.h"
#include "guarded_entry.h"
#include "identity_selection.h"
#include "linking_storage.h"
#include "logger.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "untrusted_json.h"

namespace {

using namespace linking_marker;

std::string Indented(const char* marker, const std::string& text) {
  return std::string("  ") + marker + " " + text;
}

AccountLinkingSeams WithDefaults(AccountLinkingSeams seams) {
  if (!seams.read_environment) seams.read_environment = ReadStoredEnvironment;
  if (!seams.create_api_client) {
    seams.create_api_client = [](const std::string& base_url, const std::string& access_token) {
      return MurakoApiClient(base_url, access_token);
    };
  }
  if (!seams.clock) seams.clock = CurrentTokenTime;
  if (!seams.store.remove_all) seams.store.remove_all = CertStoreManager::RemoveAllCertificates;
  if (!seams.store.add) seams.store.add = CertStoreManager::AddCertificate;
  return seams;
}

}  // namespace

AccountLinking::AccountLinking(UserType type, AccountLinkingSeams seams)
    : type_(type),
      professional_(type_ == UserType::kProfessional),
      seams_(WithDefaults(std::move(seams))) {}

AccountLinkingResult AccountLinking::OnLinkingTokenReceived(
    const std::optional<murako::OAuthToken>& token) const {
  return GuardEntry(
      [&] {
        LogInfo("  OAuth completed");
        if (!token) {
          LogWarning(
              "  OAuth flow failed - no token received (possible causes: user cancelled, network "
              "error, DNS failure, token exchange error)");
          AccountLinkingResult result;
          result.message = kLinkingAuthenticationFailed;
          return result;
        }
        return Link(*token);
      },
      [](const CaughtFailure& caught) {
        LogError(Indented(kCross, "Linking failed: " + caught.JsonText()));
        return AccountLinkingResult();
      });
}

AccountLinkingResult AccountLinking::Link(const murako::OAuthToken& token) const {
  AccountLinkingResult result;
  if (!StoreTokens(token)) {
    result.message = kLinkingAuthenticationFailed;
    return result;
  }
  LogInfo(Indented(kCheck, "Token stored (expires in " + std::to_string(token.expires_in) +
                               " seconds)"));
  LogOAuthNotice(TokenNoticeText(type_, token.expires_in), true);

  LogInfo(Indented(kMemo, "Getting user info..."));
  const MurakoApiClient api = seams_.create_api_client(ApiBaseUrl(), token.access_token);
  const std::optional<UserInfo> user = FetchUserInfo(api);
  if (!user) {
    result.message = kLinkingUserInfoFailed;
    return result;
  }
  const ValueOrReason<std::vector<SignIdentity>> selected = SelectIdentities(*user);
  if (!selected) {
    result.message = selected.reason();
    return result;
  }

  const int total = static_cast<int>(selected->size());
  const int installed = ReplaceCertificates(*selected, api);
  LogInfo(std::string(kParty) + " [Windows] Linking completed: " + std::to_string(installed) +
          "/" + std::to_string(total) + " certificates");
  result.success = installed > 0;
  result.installed = installed;
  result.message = InstalledCountMessage(installed, total);
  if (installed > 0) result.userInfo = LinkedUserInfoFor(*user, type_);
  return result;
}

std::optional<UserInfo> AccountLinking::FetchUserInfo(const MurakoApiClient& api) const {
  std::optional<UserInfo> user = api.GetUserInfo();
  if (!user) {
    LogError(Indented(kCross, "Failed to get user info"));
    LogOAuthNotice(professional_ ? "Error obteniendo info de usuario (profesional)"
                                 : "Error obteniendo info de usuario",
                   false);
    return std::nullopt;
  }
  LogInfo(Indented(kCheck, "User info obtained"));
  StoreUserData(*user);
  return user;
}

ValueOrReason<std::vector<SignIdentity>> AccountLinking::SelectIdentities(
    const UserInfo& user) const {
  LogInfo(Indented(kMemo, professional_
                              ? "Filtering profesional certificates (label 'CIF:')..."
                              : "Filtering ciudadano certificates (label 'vexo')..."));
  if (user.sign_identities.empty()) {
    LogError(Indented(kCross, "No sign_identities found"));
    return Reason{kLinkingNoIdentities};
  }
  IdentitySelection selection = professional_
                                    ? SelectProfessionalIdentities(user.sign_identities, user.cif)
                                    : SelectCitizenIdentities(user.sign_identities);
  for (const std::string& line : selection.log_lines) LogInfo(line);
  const std::string upper_cif = ToUpperAscii(user.cif);
  const std::string count = std::to_string(selection.selected.size());
  if (professional_) {
    if (selection.selected.empty()) {
      LogWarning(Indented(kWarning, "No profesional certificates matching user CIF '" +
                                        upper_cif + "'"));
      return Reason{kLinkingNoProfessionalCertificates};
    }
    LogInfo(Indented(kCheck, "Found " + count + " profesional certificate(s) matching CIF " +
                                 upper_cif));
  } else {
    if (selection.selected.empty()) {
      LogWarning(Indented(kWarning, "No ciudadano certificates found (no 'vexo' label)"));
      return Reason{kLinkingNoCitizenCertificates};
    }
    LogInfo(Indented(kCheck, "Found " + count + " ciudadano certificate(s)"));
  }
  return std::move(selection.selected);
}

int AccountLinking::ReplaceCertificates(const std::vector<SignIdentity>& selected,
                                        const MurakoApiClient& api) const {
  LogInfo(Indented(kWastebasket, "Removing previous certificates from store..."));
  seams_.store.remove_all();
  LogInfo(Indented(kInbox, "Downloading and installing certificates..."));
  const std::string total = std::to_string(selected.size());
  int installed = 0;
  for (size_t i = 0; i < selected.size(); ++i) {
    const std::string& id = selected[i].id;
    LogInfo("    [" + std::to_string(i + 1) + "/" + total + "] " + id);
    if (InstallIdentity(id, api)) ++installed;
  }
  return installed;
}

bool AccountLinking::StoreTokens(const murako::OAuthToken& token) const {
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type_);
  SecureStorage::StoreToken(keys.access_token, token.access_token);
  if (!token.refresh_token.empty()) SecureStorage::StoreToken(keys.refresh_token, token.refresh_token);
  SecureStorage::StoreToken(keys.token_expiry,
                            std::to_string(TokenExpirySeconds(seams_.clock(), token.expires_in)));
  return RecordTokenEnvironment(type_);
}

void AccountLinking::StoreUserData(const UserInfo& user) const {
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type_);
  GuardEntry(
      [&] {
        SecureStorage::StoreToken(keys.sign_identities, SignIdentitiesJson(user.sign_identities));
        SecureStorage::StoreToken(keys.user_info, UserInfoJson(user));
        LogInfo(UserInfoStoredLine(user, professional_));
      },
      [](const CaughtFailure& caught) {
        LogWarning(Indented(kWarning, "Failed to store user info: " + caught.JsonText()));
      });
}

std::string AccountLinking::ApiBaseUrl() const {
  const bool production = IsProductionValue(seams_.read_environment());
  return ChooseApiEndpoint(DeploymentServiceHosts(), type_, production).base_url;
}

bool AccountLinking::InstallIdentity(const std::string& id, const MurakoApiClient& api) const {
  if (id.empty()) {
    LogWarning(std::string("    ") + kWarning + " No identity_id, skipping");
    return false;
  }
  const std::optional<IdentityDetails> details = api.GetIdentityDetails(id);
  if (!details) {
    LogError(std::string("    ") + kCross + " Failed to download certificate");
    return false;
  }
  LogInfo(std::string("    ") + kCheck + " Certificate downloaded (" +
          std::to_string(details->certificate.size()) + " chars)");
  const ValueOrReason<CertificateInfo> certificate =
      CertParser::ParseCertificateFromBase64(details->certificate);
  if (!certificate) {
    LogError(std::string("    ") + kCross + " Failed to parse certificate");
    return false;
  }
  const std::string access_token =
      SecureStorage::GetToken(LinkingStorageKeysFor(type_).access_token).value_or(std::string());
  const ValueOrReason<std::string> thumbprint =
      seams_.store.add(*certificate, id, access_token, type_);
  if (!thumbprint) {
    LogError(std::string("    ") + kCross + " Failed to install certificate");
    return false;
  }
  LogInfo(std::string("    ") + kCheck + " Installed: " + certificate->subjectCn + " (" +
          *thumbprint + ")");
  return true;
}
