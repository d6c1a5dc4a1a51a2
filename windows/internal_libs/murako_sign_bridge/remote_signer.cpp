#include "remote_signer.h"

#include <exception>

#include "bridge_credentials.h"
#include "bridge_last_error.h"
#include "hash_classification.h"
#include "logger.h"
#include "murako_api_client.h"
#include "service_endpoints.h"
#include "text_encoding.h"

namespace {

std::optional<std::string> TokenFor(const std::string& user_type) {
  std::optional<std::string> token = GetOAuthToken(AccessTokenKeyFor(user_type));
  if (token) return token;
  const std::string account = user_type == "profesional" ? "profesional" : "ciudadano";
  SetBridgeError("No OAuth token available for " + account + " user type");
  LogError("[TOAST SIGNATURE] Sin token OAuth (" + account + "). Inicia sesion.");
  return std::nullopt;
}

HRESULT SignClassifiedHash(const std::string& thumbprint, const HashClassification& hash,
                           uint32_t padding_flags, std::vector<uint8_t>& signature) {
  const std::string algorithm = SignatureAlgorithmName(hash.raw_hash.size(), padding_flags);
  LogInfo("Algorithm: " + algorithm);

  const std::string user_type = GetUserTypeByThumbprint(thumbprint);
  LogInfo("User type for this certificate: " + user_type);
  std::optional<std::string> token = TokenFor(user_type);
  if (!token) return E_FAIL;

  std::optional<std::string> identity = GetSignIdentityByThumbprint(thumbprint);
  if (!identity) {
    SetBridgeError("Failed to get sign_identity_id from cache for thumbprint");
    return E_FAIL;
  }
  LogInfo("Using sign_identity_id from cache: " + *identity);

  const std::string base_url = GetApiBaseUrl(user_type);
  LogInfo("API Base URL: " + base_url);
  MurakoApiClient client(base_url, *token);

  SignatureRequest request;
  request.sign_identity_id = *identity;
  request.digest_value = EncodeBase64(hash.raw_hash);
  request.signature_algorithm = algorithm;
  LogInfo("Hash (base64): " + request.digest_value);

  LogInfo("Calling Murako API /signature...");
  std::optional<SignatureResult> result = client.SignHash(request);
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
  try {
    return SignClassifiedHash(thumbprint, classified, padding_flags, signature);
  } catch (const std::exception& error) {
    SetBridgeError(std::string("Exception: ") + error.what());
  } catch (...) {
    SetBridgeError("Exception: unknown error");
  }
  return E_FAIL;
}
