#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Records exchanged with the remote signing service's REST API.

struct SignIdentity {
  std::string id;
  std::string self_url;
  std::vector<std::string> labels;
  std::string status;
};

struct UserInfo {
  std::string name;
  std::string dni;
  std::string cif;
  std::string organization;
  std::vector<SignIdentity> sign_identities;
};

struct IdentityDetails {
  std::string id;
  std::string certificate;  // Base64 of the certificate's DER encoding
  std::string status;
  std::vector<std::string> labels;
};

struct SignatureRequest {
  std::string sign_identity_id;
  std::string digest_value;  // Base64 of the raw hash
  std::string data;          // Base64 of a whole DigestInfo; empty when not used
  std::string signature_algorithm;
};

struct SignatureResult {
  std::vector<uint8_t> signature;
  std::string signature_algorithm;
};
