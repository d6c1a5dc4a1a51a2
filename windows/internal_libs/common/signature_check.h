#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

// A signature from the service counts only when it is the certificate key's signature of what
// it was asked to sign: a body of another length (an error page, a proxy's answer) or of other
// bytes is never handed on as a signature. The provider checks what the bridge returns, the
// main program what it signs for itself.

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
// The request for a raw SHA-256/384/512 hash signed with PSS or PKCS #1 v1.5.
RemoteSignatureRequest RemoteRequestForRawHash(std::vector<uint8_t> raw_hash, bool pss);

// The PSS salt length the service signs these bytes with: the length of the raw hash the bridge
// takes from them, or the length given when the bridge takes none (it then refuses the hash).
DWORD ServicePssSaltBytes(const BYTE* hash, DWORD hash_bytes);

// `signature` as `key_bytes` bytes: a shorter one (a service may send it as a number, without
// its leading zero bytes) left-padded with zeros, one of the key's length as it is; nothing for
// a longer one.
std::vector<uint8_t> SignatureOfKeyLength(const BYTE* signature, DWORD signature_bytes,
                                          DWORD key_bytes);

// The byte length of the certificate's RSA modulus; 0 when its public key cannot be decoded.
DWORD CertificateModulusBytes(PCCERT_CONTEXT certificate);

// Empty when `signature` is exactly as long as the certificate's RSA modulus and verifies with
// its public key for the request; otherwise the reason it is refused.
std::string SignatureRefusal(PCCERT_CONTEXT certificate, const RemoteSignatureRequest& request,
                             const BYTE* signature, DWORD signature_bytes);

// Each open provider handle holds the system folder's bcrypt.dll for the checks, so that a
// signature does not load and unload it; the last release unloads it. Without a holder a check
// loads it for itself.
void HoldSystemBCrypt();
void ReleaseSystemBCrypt();
