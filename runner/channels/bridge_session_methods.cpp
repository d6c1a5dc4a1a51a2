#include "bridge_session_methods.h"

#include <memory>

#include "application_host.h"
#include "channel_arguments.h"
#include "session_state.h"
#include "logger.h"
#include "oauth_protocol.h"
#include "oauth_manager.h"
#include "secure_storage.h"
#include "storage_keys.h"
#include "service_endpoints.h"
#include "sign_in_service.h"

namespace bridge_session {
namespace {

StringArguments UserTypeArgument(const flutter::EncodableValue* arguments,
                                 const char* missing_message) {
  return RequireStrings(arguments, {"userType"}, missing_message, "userType must be a string");
}

// Tokens, certificates and sign-ins of one environment never reach the other: both accounts
// are unlinked before the new value is stored, and a sign-in still running is answered with
// its failure. False when the sign-out could not run or a token of either account is still
// stored: the setting must not change under it.
bool SignOutForEnvironmentChange(ApplicationHost& host) {
  LogInfo("Environment changes - signing both accounts out first");
  bool tokens_left = false;
  const bool ran = host.SignIn().SignOut([&tokens_left] {
    for (UserType type : {UserType::kCitizen, UserType::kProfessional}) {
      const std::optional<std::string> failure = UnlinkAccount(type);
      if (failure) LogError("Error unlinking certificate: " + *failure);
      if (HasStoredSession(type)) {
        LogError("Tokens of " + UserTypeWord(type) + " remain - the environment stays");
        tokens_left = true;
      }
    }
  });
  return ran && !tokens_left;
}

}  // namespace

StringArguments SignInArguments(const flutter::EncodableValue* arguments) {
  StringArguments checked =
      RequireStrings(arguments, {"userType", "redirectUri"}, "Missing userType or redirectUri",
                     "Arguments must be strings");
  if (!checked.error) checked.error = CheckUserTypeWord(checked.values[0]);
  return checked;
}

ChannelAnswer GetAuthorizationUrl(ApplicationHost& host, const flutter::EncodableValue* arguments) {
  const StringArguments checked = SignInArguments(arguments);
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const std::string url = host.SignIn().Manager()->BuildAuthorizationUrl(
      OAuthUserTypeNumber(ChannelUserType(checked.values[0])), checked.values[1], "es", "");
  return ChannelAnswer::Success(Text(url));
}

ChannelAnswer GetStoredToken(ApplicationHost&, const flutter::EncodableValue* arguments) {
  const StringArguments checked = UserTypeArgument(arguments, "Missing userType");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const LinkingStorageKeys keys = LinkingStorageKeysFor(ChannelUserType(checked.values[0]));
  const auto access = SecureStorage::GetToken(keys.access_token);
  if (!access) return ChannelAnswer::Success(Flag(false));
  const auto refresh = SecureStorage::GetToken(keys.refresh_token);
  return ChannelAnswer::Success(
      MapOf({{"access_token", Text(*access)}, {"refresh_token", Text(refresh.value_or(""))}}));
}

// The account's sign-out, as "desactivarCertificado" runs it (its pending flows disarmed, its
// browser session ended), deleting only the two tokens.
ChannelAnswer DeleteStoredToken(ApplicationHost& host, const flutter::EncodableValue* arguments) {
  const StringArguments checked = UserTypeArgument(arguments, "Missing userType");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const UserType type = ChannelUserType(checked.values[0]);
  bool deleted = false;
  host.SignIn().SignOut([&] { deleted = DeleteStoredTokens(type).empty(); }, type);
  return ChannelAnswer::Success(Flag(deleted));
}

ChannelAnswer SetEnvironment(ApplicationHost& host, const flutter::EncodableValue* arguments) {
  const StringArguments checked = RequireStrings(
      arguments, {"environment"}, "Missing 'environment' argument", "environment must be a string");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const std::string& environment = checked.values[0];
  if (!IsEnvironmentName(environment)) {
    return ChannelAnswer::Failure("INVALID_VALUE", "environment must be 'desa' or 'prod'");
  }
  LogInfo("Setting environment to: " + environment);
  const bool production = IsProductionValue(environment);
  const bool changes = IsProductionValue(SecureStorage::GetToken(kEnvironmentKey)) != production;
  if ((changes && !SignOutForEnvironmentChange(host)) ||
      !SecureStorage::StoreToken(kEnvironmentKey, environment)) {
    LogError("Failed to save environment setting");
    return ChannelAnswer::Failure("STORAGE_ERROR", "Failed to save environment setting");
  }
  LogInfo("Environment set successfully");
  host.SignIn().SetOAuthManager(
      std::make_shared<OAuthManager>("", kOAuthClientId, ClientSecretFor(production)));
  LogInfo(production ? "Reconfigured OAuth manager with PRODUCTION client_secret"
                     : "Reconfigured OAuth manager with DEVELOPMENT client_secret");
  return ChannelAnswer::Success(Flag(true));
}

ChannelAnswer GetEnvironment(ApplicationHost&, const flutter::EncodableValue*) {
  const auto stored = SecureStorage::GetToken(kEnvironmentKey);
  if (stored && !stored->empty()) {
    LogInfo("Current environment: " + *stored);
    return ChannelAnswer::Success(Text(*stored));
  }
  LogInfo("Environment not set, defaulting to 'desa'");
  return ChannelAnswer::Success(Text(kDevelopmentEnvironment));
}

ChannelAnswer ClearSession(ApplicationHost& host, const flutter::EncodableValue*) {
  bool cleared = false;
  host.SignIn().SignOut([&cleared] { cleared = ClearOAuthSession(); });
  // A sign-out that left certificates or tokens behind must not be reported as done.
  if (!cleared) {
    return ChannelAnswer::Failure("CLEAR_SESSION_FAILED", "Failed to clear OAuth session");
  }
  return ChannelAnswer::Success(Flag(true));
}

}  // namespace bridge_session
