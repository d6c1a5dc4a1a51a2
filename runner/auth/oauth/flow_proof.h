#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What binds an authorization redirect to the sign-in flow that asked for it: a random "state"
// sent in the authorization URL and expected back on the redirect, and the PKCE pair of
// RFC 7636 with the S256 method: the challenge goes in the authorization URL, the verifier in
// the code exchange, so a code issued to another flow cannot be exchanged by this one. A
// server that does not know PKCE ignores both. Empty members leave their parameters out.
struct AuthorizationRequestProof {
  std::string state;
  std::string code_verifier;
  std::string code_challenge;  // BASE64URL(SHA-256(ASCII(code_verifier)))
};

// Base64 with the URL alphabet ("-" and "_") and no padding.
std::string Base64UrlWithoutPadding(const std::vector<uint8_t>& bytes);

// The S256 challenge of a verifier; nothing when hashing is unavailable.
std::optional<std::string> S256CodeChallenge(const std::string& code_verifier);

// A fresh state (128 random bits) and verifier (256 random bits, 43 characters) from the
// system's random number generator, with the verifier's challenge. Nothing when the system
// cannot supply random bytes or hash them.
std::optional<AuthorizationRequestProof> NewAuthorizationRequestProof();
