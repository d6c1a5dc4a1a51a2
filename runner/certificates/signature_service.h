#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "murako_api_types.h"
#include "value_or_reason.h"

// Hashes data locally (CryptoAPI) and builds the request that has the remote service sign it
// with one of the user's sign identities, for the application's own signatures.
class SignatureService {
 public:
  SignatureService();

  // 0 = SHA-256, 1 = SHA-384, 2 = SHA-512, chosen from the service's algorithm name.
  static int HashAlgorithmFromName(const std::string& algorithmName);
  // The hash, or why CryptoAPI could not compute it (logged). No exception leaves these.
  ValueOrReason<std::vector<uint8_t>> CalculateHash(const std::vector<uint8_t>& data,
                                                    int algorithm) const;
  ValueOrReason<SignatureRequest> PrepareSignatureRequest(const std::vector<uint8_t>& data,
                                                          const std::string& signIdentityId,
                                                          const std::string& algorithmName) const;
  // The service's `signature` for `request` at the length of the certificate's key: left-padded
  // with zeros when the service dropped leading zero bytes, and only when it then verifies with
  // the certificate's public key; otherwise why not (logged).
  ValueOrReason<std::vector<uint8_t>> CheckedSignature(const std::vector<uint8_t>& certificate_der,
                                                       const SignatureRequest& request,
                                                       const std::vector<uint8_t>& signature) const;
};
