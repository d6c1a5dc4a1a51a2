// The three REST operations of MurakoApiClient on top of Get and Post.
#include "guarded_entry.h"
#include "log_redaction.h"
#include "logger.h"
#include "murako_api_client.h"
#include "murako_api_json.h"
#include "untrusted_json.h"
#include "url_parser.h"

std::optional<UserInfo> MurakoApiClient::GetUserInfo() const {
  LogInfo("MurakoApiClient::GetUserInfo - Fetching user info");
  std::optional<std::string> body = Get(kUserInfoPath);
  if (!body) {
    LogError("Failed to fetch user info");
    return std::nullopt;
  }
  return GuardEntry(
      [&]() -> std::optional<UserInfo> {
        UserInfo info = ParseUserInfoJson(*body);
        LogInfo("User info parsed successfully. User: " + info.name +
                ", Identities: " + std::to_string(info.sign_identities.size()));
        return info;
      },
      [&](const CaughtFailure& caught) {
        LogError("Failed to parse user info JSON: " + caught.JsonText());
        LogError("Response was: " + RedactJsonSecretsForLog(*body));
        return std::nullopt;
      });
}

std::optional<IdentityDetails> MurakoApiClient::GetIdentityDetails(
    const std::string& identity_id) const {
  LogInfo("MurakoApiClient::GetIdentityDetails - Fetching identity: " + identity_id);
  std::optional<std::string> body = Get(kSignIdentityPath + PercentEncode(identity_id));
  if (!body) {
    LogError("Failed to fetch identity details");
    return std::nullopt;
  }
  LogInfo("Identity details response received: " + std::to_string(body->size()) + " bytes");
  return GuardEntry(
      [&]() -> std::optional<IdentityDetails> {
        IdentityDetails details = ParseIdentityDetailsJson(*body);
        LogInfo("Identity details parsed successfully. Certificate size: " +
                std::to_string(details.certificate.size()) + " chars (base64)");
        return details;
      },
      [&](const CaughtFailure& caught) {
        LogError("Failed to parse identity details JSON: " + caught.JsonText());
        LogError("Response was: " + RedactJsonSecretsForLog(*body));
        return std::nullopt;
      });
}
