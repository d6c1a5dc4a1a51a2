#include "bridge_identity_methods.h"

#include "channel_arguments.h"
#include "guarded_entry.h"
#include "linking_storage.h"
#include "logger.h"
#include "murako_api_client.h"
#include "secure_storage.h"
#include "storage_keys.h"
#include "service_endpoints.h"
#include "signature_service.h"
#include "stored_identities.h"
#include "untrusted_json.h"

using flutter::EncodableList;
using flutter::EncodableValue;

namespace bridge_identity {
namespace {

constexpr char kUserTypeNotString[] = "userType must be a string";
constexpr char kMissingUserType[] = "Missing userType argument";

ChannelAnswer NoToken() {
  return ChannelAnswer::Failure("NO_TOKEN", "No access token found. Please login first.");
}

// The access token of the "userType" argument with the environment it was checked against,
// as the signing bridge reads them: a token without its environment, or of the other one, is
// no token here.
struct UsableToken {
  std::string access_token;
  bool production = false;
};

std::optional<UsableToken> StoredAccessToken(UserType type) {
  const auto token = SecureStorage::GetToken(LinkingStorageKeysFor(type).access_token);
  if (!token || token->empty()) return std::nullopt;
  const ValueOrReason<TokenEnvironmentReading> environment = ReadTokenEnvironment(type, *token);
  if (!environment) {
    LogError("The " + UserTypeWord(type) + " access token is not used: " + environment.reason());
    return std::nullopt;
  }
  return UsableToken{environment->access_token, IsProductionValue(environment->setting)};
}

// The citizen host of the environment the token was checked against, logged with the
// operation's name.
MurakoApiClient CitizenClient(const std::string& operation, const UsableToken& token) {
  const std::string base_url = CitizenApiBaseUrl(DeploymentServiceHosts(), token.production);
  LogInfo(operation + " using API URL: " + base_url);
  return MurakoApiClient(base_url, token.access_token);
}

ChannelAnswer SignatureFailed() {
  return ChannelAnswer::Failure("SIGNATURE_FAILED", "Failed to sign data");
}

// The signature as the identity certificate's key signs: the service may drop its leading zero
// bytes, and nothing that does not verify with the certificate reaches the interface.
ValueOrReason<std::vector<uint8_t>> CheckedAgainstIdentity(const SignatureService& signatures,
                                                           const MurakoApiClient& api,
                                                           const SignatureRequest& request,
                                                           const std::vector<uint8_t>& signature) {
  const ValueOrReason<std::vector<uint8_t>> der =
      IdentityCertificateDer(request.sign_identity_id, api);
  if (!der) return Reason{der.reason()};
  return signatures.CheckedSignature(*der, request, signature);
}

EncodableValue IdentityEntry(const SignIdentity& identity) {
  return MapOf({{"id", Text(identity.id)},
                {"self_url", Text(identity.self_url)},
                {"status", Text(identity.status)},
                {"labels", TextList(identity.labels)}});
}

void StoreIdentities(UserType type, const UserInfo& user) {
  const std::string& first = user.sign_identities.front().id;
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  SecureStorage::StoreToken(keys.sign_identity_id, first);
  LogInfo("Stored sign_identity_id: " + first);
  SecureStorage::StoreToken(keys.sign_identities, SignIdentitiesJson(user.sign_identities));
  LogInfo("Stored " + std::to_string(user.sign_identities.size()) + " identities");
}

struct StoredValue {
  std::optional<ChannelError> error;
  std::optional<std::string> value;
};

// The value stored under the "userType" argument's key `key`.
StoredValue StoredForUserType(const EncodableValue* arguments,
                              std::string LinkingStorageKeys::*key) {
  const StringArguments checked =
      RequireStrings(arguments, {"userType"}, kMissingUserType, kUserTypeNotString);
  if (checked.error) return {checked.error, std::nullopt};
  return {std::nullopt,
          SecureStorage::GetToken(LinkingStorageKeysFor(ChannelUserType(checked.values[0])).*key)};
}

}  // namespace

EncodableValue IdentityList(const std::vector<SignIdentity>& identities) {
  EncodableList list;
  for (const SignIdentity& identity : identities) list.push_back(IdentityEntry(identity));
  return EncodableValue(std::move(list));
}

ChannelAnswer SignData(ApplicationHost&, const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"data", "signIdentityId", "algorithm", "userType"},
                     "Missing required arguments", "Arguments must be strings");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const std::string& data = checked.values[0];
  const auto token = StoredAccessToken(ChannelUserType(checked.values[3]));
  if (!token) return NoToken();

  const std::vector<uint8_t> bytes(data.begin(), data.end());
  const SignatureService signatures;
  const auto request =
      signatures.PrepareSignatureRequest(bytes, checked.values[1], checked.values[2]);
  if (!request) return ChannelAnswer::Failure("HASH_FAILED", "Failed to calculate hash");

  const MurakoApiClient api = CitizenClient("signHash", *token);
  const auto signature = api.SignHash(*request);
  if (!signature) return SignatureFailed();
  const auto verified = CheckedAgainstIdentity(signatures, api, *request, signature->signature);
  if (!verified) return SignatureFailed();
  return ChannelAnswer::Success(EncodableValue(*verified));
}

ChannelAnswer GetUserInfo(ApplicationHost&, const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"userType"}, kMissingUserType, kUserTypeNotString);
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const UserType type = ChannelUserType(checked.values[0]);
  const auto token = StoredAccessToken(type);
  if (!token) return NoToken();

  const MurakoApiClient api = CitizenClient("getUserInfo", *token);
  const std::optional<UserInfo> user = api.GetUserInfo();
  if (!user) return ChannelAnswer::Failure("API_ERROR", "Failed to get user info from API");

  EncodableValue answer = MapOf({{"name", Text(user->name)},
                                 {"dni", Text(user->dni)},
                                 {"cif", Text(user->cif)},
                                 {"organization", Text(user->organization)}});
  if (!user->sign_identities.empty()) {
    Put(answer, "signIdentityId", Text(user->sign_identities.front().id));
    StoreIdentities(type, *user);
    CreateThumbprintMappings(type, user->sign_identities, api);
  }
  Put(answer, "sign_identities", IdentityList(user->sign_identities));
  LogInfo("Returning user info with " + std::to_string(user->sign_identities.size()) +
          " identities");
  return ChannelAnswer::Success(std::move(answer));
}

ChannelAnswer GetStoredSignIdentityId(ApplicationHost&, const EncodableValue* arguments) {
  const StoredValue stored = StoredForUserType(arguments, &LinkingStorageKeys::sign_identity_id);
  if (stored.error) return ChannelAnswer::Failure(*stored.error);
  return ChannelAnswer::Success(stored.value ? Text(*stored.value) : Flag(false));
}

ChannelAnswer GetStoredIdentities(ApplicationHost&, const EncodableValue* arguments) {
  const StoredValue stored = StoredForUserType(arguments, &LinkingStorageKeys::sign_identities);
  if (stored.error) return ChannelAnswer::Failure(*stored.error);
  if (!stored.value) return ChannelAnswer::Success(Flag(false));
  return GuardEntry(
      [&] { return ChannelAnswer::Success(StoredIdentityList(*stored.value)); },
      [](const CaughtFailure& caught) {
        LogError("Failed to parse stored identities JSON: " + caught.JsonText());
        return ChannelAnswer::Failure("PARSE_ERROR", "Failed to parse stored identities");
      });
}

ChannelAnswer GetIdentityDetails(ApplicationHost&, const EncodableValue* arguments) {
  StringArguments identity = RequireStrings(
      arguments, {"identityId"}, "Missing identityId argument", "identityId must be a string");
  if (identity.error) return ChannelAnswer::Failure(*identity.error);
  const StringArguments checked =
      RequireStrings(arguments, {"userType"}, kMissingUserType, kUserTypeNotString);
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  const auto token = StoredAccessToken(ChannelUserType(checked.values[0]));
  if (!token) return NoToken();

  const auto details =
      CitizenClient("downloadCertificate", *token).GetIdentityDetails(identity.values[0]);
  if (!details) {
    return ChannelAnswer::Failure("API_ERROR", "Failed to get identity details from API");
  }
  return ChannelAnswer::Success(MapOf({{"id", Text(details->id)},
                                       {"certificate_b64", Text(details->certificate)},
                                       {"status", Text(details->status)},
                                       {"labels", TextList(details->labels)}}));
}

}  // namespace bridge_identity
