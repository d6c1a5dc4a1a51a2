// MurakoApiClient::SignHash, the one operation the signing bridge links.
#include "logger.h"
#include "murako_api_client.h"
#include "murako_api_json.h"
#include "text_encoding.h"

std::optional<SignatureResult> MurakoApiClient::SignHash(const SignatureRequest& request,
                                                         uint32_t* http_status) const {
  LogInfo("MurakoApiClient::SignHash - Signing with identity: " + request.sign_identity_id);
  if (!request.data.empty()) {
    LogInfo("Using 'data' field (DigestInfo complete for rsa-pkcs1)");
  } else {
    LogInfo("Using 'digest_value' field (raw hash for rsa-sha256/384/512)");
  }
  const std::string json_body = BuildSignatureRequestJson(request);
  LogInfo("Signature request: " + json_body);

  if (http_status != nullptr) *http_status = 0;
  std::optional<std::string> body = Send("POST", kRawSignaturePath, json_body, http_status);
  if (!body) {
    LogError("Failed to sign hash");
    LogSignatureNotice("Error en firma remota (ver logs)", false);
    return std::nullopt;
  }
  SignatureResult result;
  result.signature.assign(body->begin(), body->end());
  result.signature_algorithm = request.signature_algorithm;
  const std::string count = std::to_string(result.signature.size());
  LogInfo("Signature received: " + count + " bytes");
  LogSignatureNotice("Firmado correctamente (" + count + " bytes)", true);
  LogInfo("Signature (first 16 bytes hex): " + UpperHexPreview(result.signature, 16));
  return result;
}
