#include "remote_signer.h"


#include "bridge_credentials.h"
#include "bridge_last_error.h"
#include "hash_classification.h"
#include "logger.h"
#include "murako_api_client.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "storage_keys.h"
#include "text_encoding.h"

namespace {

constexpr uint32_t kHttpUnauthorized = 401;
constexpr DWORD kRenewedTokenWaitMs = 3000;
constexpr DWORD kRenewedTokenPollMs = 250;

// The application renews the session while other programs sign, and the service may revoke the
// previous access token the moment it issues the new one, before the application has stored
// it: a signature sent with the previous token in that moment is refused with 401. The token
// stored since then, waited for a bounded time; nothing when none replaces `used`.
std::optional<std::string> TokenRenewedSince(const std::string& key, const std::string& used) {
  for (DWORD waited = 0;; waited += kRenewedTokenPollMs) {
    std::optional<std::string> stored = SecureStorage::GetToken(key);
    if (stored && !stored->empty() && *stored != used) return stored;
    if (waited >= kRenewedTokenWaitMs) return std::nullopt;
    Sleep(kRenewedTokenPollMs);
  }
}

// A renewed token goes to the host chosen for the first one only when the setting and the
// token's record still read as they did: a token stored after a change of environment (the
// user switched and signed in meanwhile) belongs to the other environment's hosts.
std::optional<std::string> RenewedTokenForSameHost(UserType type,
                                                   const TokenEnvironmentReading& used) {
  std::optional<std::string> renewed =
      TokenRenewedSince(LinkingStorageKeysFor(type).access_token, used.access_token);
  if (!renewed) {
    LogWarning("No renewed access token was stored");
    return std::nullopt;
  }
  const ValueOrReason<TokenEnvironmentReading> now = ReadTokenEnvironment(type, *renewed);
  if (!now || !SameTokenEnvironment(*now, used)) {
    LogWarning("The environment changed since the signature was sent - not signing again" +
               (now ? std::string() : ": " + now.reason()));
    return std::nullopt;
  }
  return now->access_token;
}

// The signature, sent once more with a renewed token when the service refused the token used.
std::optional<SignatureResult> SignWithCurrentToken(const MurakoApiClient& client,
                                                    const std::string& base_url, UserType type,
                                                    const TokenEnvironmentReading& token,
                                                    const SignatureRequest& request) {
  uint32_t status = 0;
  std::optional<SignatureResult> result = client.SignHash(request, &status);
  if (result || status != kHttpUnauthorized) return result;
  LogWarning("The service refused the access token (401); looking for a renewed one");
  FlushLogBatch();
  const std::optional<std::string> renewed = RenewedTokenForSameHost(type, token);
  if (!renewed) return std::nullopt;
  LogInfo("Signing again with the renewed access token");
  return MurakoApiClient(base_url, *renewed).SignHash(request);
}

std::optional<std::string> TokenFor(UserType type) {
  std::optional<std::string> token = GetOAuthToken(LinkingStorageKeysFor(type).access_token);
  if (token) return token;
  const std::string account = UserTypeWord(type);
  SetBridgeError("No OAuth token available for " + account + " user type");
  LogError("[TOAST SIGNATURE] Sin token OAuth (" + account + "). Inicia sesion.");
  return std::nullopt;
}

HRESULT SignClassifiedHash(const std::string& thumbprint, const HashClassification& hash,
                           uint32_t padding_flags, std::vector<uint8_t>& signature) {
  const std::string algorithm = SignatureAlgorithmName(hash.raw_hash.size(), padding_flags);
  LogInfo("Algorithm: " + algorithm);

  const UserType type = GetUserTypeByThumbprint(thumbprint);
  std::optional<std::string> token = TokenFor(type);
  if (!token) return E_FAIL;
  // Read once: the token goes to the hosts of the environment it was checked against.
  const ValueOrReason<TokenEnvironmentReading> environment =
      ReadTokenEnvironment(type, *token);
  if (!environment) {
    SetBridgeError(environment.reason());
    return E_FAIL;
  }

  std::optional<std::string> identity = GetSignIdentityByThumbprint(thumbprint);
  if (!identity) {
    SetBridgeError("Failed to get sign_identity_id from cache for thumbprint");
    return E_FAIL;
  }
  LogInfo("Using sign_identity_id from cache: " + *identity);

  const std::string base_url = GetApiBaseUrl(type, environment->setting);
  LogInfo("API Base URL: " + base_url);
  MurakoApiClient client(base_url, environment->access_token);

  SignatureRequest request;
  request.sign_identity_id = *identity;
  request.digest_value = EncodeBase64(hash.raw_hash);
  request.signature_algorithm = algorithm;
  LogInfo("Hash (base64): " + request.digest_value);

  LogInfo("Calling Murako API /signature...");
  FlushLogBatch();  // what the call was doing shows even if the service never answers
  std::optional<SignatureResult> result =
      SignWithCurrentToken(client, base_url, type, *environment, request);
  // An empty answer is no signature, however the service labelled it.
  if (!result || result->signature.empty()) {
    SetBridgeError("Failed to get signature from Murako API");
    return E_FAIL;
  }
  signature = std::move(result->signature);
  return S_OK;
}

}  // namespace

std::string KeyNameToNarrow(const wchar_t* key_name) {
  std::string narrow;
  for (const wchar_t* unit = key_name; *unit != L'\0'; ++unit) {
    narrow += static_cast<char>(*unit);
  }
  return narrow;
}

HRESULT SignHashRemotely(const std::string& thumbprint, const uint8_t* hash, uint32_t hash_length,
                         uint32_t padding_flags, std::vector<uint8_t>& signature) {
  HashClassification classified = ClassifyHash(hash, hash_length);
  if (!classified.accepted) {
    SetBridgeError(classified.error_text);
    return E_INVALIDARG;
  }
  LogInfo(classified.log_line);
  return SignClassifiedHash(thumbprint, classified, padding_flags, signature);
}
