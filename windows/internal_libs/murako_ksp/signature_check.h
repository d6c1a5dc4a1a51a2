#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

// A signature from the bridge counts only when it is the certificate key's signature of what
// the bridge asked the service to sign: a body of another length (an error page, a proxy's
// answer) or of other bytes is never handed to the caller as a signature.

// What the bridge sends the service for the bytes and flags it was given: the raw hash, the
// BCrypt name of its algorithm and the padding (PSS with a salt as long as the hash, or
// PKCS #1 v1.5).
struct RemoteSignatureRequest {
  bool understood = false;
  std::vector<uint8_t> raw_hash;
  const wchar_t* hash_algorithm = nullptr;
  bool pss = false;
  std::string refusal;  // why the request cannot be checked, when not understood
};

RemoteSignatureRequest RemoteRequestFor(const BYTE* hash, DWORD hash_bytes, DWORD padding_flags);

// The PSS salt length the service signs these bytes with: the length of the raw hash the bridge
// takes from them, or the length given when the bridge takes none (it then refuses the hash).
DWORD ServicePssSaltBytes(const BYTE* hash, DWORD hash_bytes);

// `signature` as `key_bytes` bytes: a shorter one (a service may send it as a number, without
// its leading zero bytes) left-padded with zeros, one of the key's length as it is; nothing for
// a longer one.
std::vector<uint8_t> SignatureOfKeyLength(const BYTE* signature, DWORD signature_bytes,
                                          DWORD key_bytes);

// Empty when `signature` is exactly as long as the certificate's RSA modulus and verifies with
// its public key for the request; otherwise the reason it is refused.
std::string SignatureRefusal(PCCERT_CONTEXT certificate, const RemoteSignatureRequest& request,
                             const BYTE* signature, DWORD signature_bytes);

// Each open provider handle holds the system folder's bcrypt.dll for the checks, so that a
// signature does not load and unload it; the last release unloads it. Without a holder a check
// loads it for itself.
void HoldSystemBCrypt();
void ReleaseSystemBCrypt();
