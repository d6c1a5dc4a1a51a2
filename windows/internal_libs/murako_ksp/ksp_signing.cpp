// Signing: the hash goes unchanged to the signing bridge, which has the remote service sign it.
// The provider never holds a private key.

#include <cstring>
#include <memory>
#include <string>

#include "hash_classification.h"
#include "hash_diagnosis.h"
#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "sign_bridge_library.h"
#include "signature_check.h"
#include "thumbprint.h"

namespace {

// BCRYPT_PKCS1_PADDING_INFO and BCRYPT_PSS_PADDING_INFO both start with the hash algorithm.
struct PaddingInfoPrefix {
  LPCWSTR pszAlgId;
};

void LogHashDetails(const BYTE* hash, DWORD hash_bytes, const void* padding_info, DWORD flags) {
  if (hash != nullptr && hash_bytes >= 1 && hash_bytes <= 256) {
    KspLog("    Hash bytes (first %d): %s", static_cast<int>(hash_bytes < 64 ? hash_bytes : 64),
           HashHexPrefix(hash, hash_bytes).c_str());
  }
  if (padding_info == nullptr) {
    KspLog("    PaddingInfo: NULL (no padding info provided)");
  } else {
    LPCWSTR algorithm = static_cast<const PaddingInfoPrefix*>(padding_info)->pszAlgId;
    if (algorithm != nullptr) {
      KspLog("    PaddingInfo: algorithm='%s'", KspLogText(algorithm, 256).c_str());
    } else {
      KspLog("    PaddingInfo: algorithm=NULL");
    }
  }
  KspLog("    Flags: 0x%08X", static_cast<unsigned>(flags));
  for (const std::string& line : DiagnoseHashFormat(hash, hash_bytes)) {
    KspLog("%s", line.c_str());
  }
}

// Why the service cannot sign the bytes as the caller asks; empty when it can. The service
// signs a hash with PKCS #1 v1.5 over its DigestInfo or with PSS, salted as long as the hash.
// PKCS #1 without a hash algorithm pads the bytes as given, which the service does only for a
// DigestInfo; signing without padding (raw RSA) it never does. Without padding information the
// hash is taken by its length.
std::string UnsignableRequest(const void* padding_info, const BYTE* hash, DWORD hash_bytes,
                              DWORD flags) {
  if ((flags & NCRYPT_NO_PADDING_FLAG) != 0) return "signing without padding";
  if (padding_info == nullptr) return {};
  if ((flags & BCRYPT_PAD_PSS) != 0) {
    const DWORD salt = static_cast<const BCRYPT_PSS_PADDING_INFO*>(padding_info)->cbSalt;
    const DWORD service_salt = ServicePssSaltBytes(hash, hash_bytes);
    if (salt == service_salt) return {};
    return KspFormat("PSS salt of %lu bytes requested, the service signs with a salt of the hash "
                     "length, %lu bytes",
                     static_cast<unsigned long>(salt), static_cast<unsigned long>(service_salt));
  }
  const LPCWSTR algorithm = static_cast<const PaddingInfoPrefix*>(padding_info)->pszAlgId;
  if ((flags & BCRYPT_PAD_PKCS1) != 0 && algorithm == nullptr &&
      !IsServiceDigestInfo(hash, hash_bytes)) {
    return KspFormat("PKCS #1 without a hash algorithm over %lu bytes that are not a DigestInfo "
                     "the service signs",
                     static_cast<unsigned long>(hash_bytes));
  }
  return {};
}

// The bridge's buffer, handed back to the bridge that allocated it.
using BridgeBuffer = std::unique_ptr<BYTE, MurakoFreeSigFn>;

// Why the bridge's signature cannot be handed to the caller; empty when it can.
std::string RefusalOf(const KspKeyHandle* key, const BYTE* hash, DWORD hash_bytes, DWORD flags,
                      const std::vector<uint8_t>& padded, DWORD returned_bytes,
                      DWORD signature_bytes) {
  if (padded.empty()) {
    return "signature is " + std::to_string(returned_bytes) + " bytes, the key's length " +
           std::to_string(signature_bytes);
  }
  return SignatureRefusal(key->certificate, RemoteRequestFor(hash, hash_bytes, flags),
                          padded.data(), static_cast<DWORD>(padded.size()));
}

// One load-call-unload cycle of the bridge. The bridge's buffer is released through the
// bridge and its failure text is read on this thread before the library goes away.
SlotResult SignWithBridge(const KspKeyHandle* key, const BYTE* hash, DWORD hash_bytes, DWORD flags,
                          PBYTE signature, DWORD signature_bytes) {
  KspLog("    Sending raw hash to API (API will construct DigestInfo internally)");
  SignBridgeLibrary bridge;
  if (!bridge.loaded()) {
    KspLog("    Bridge DLL not found");
    return Answer(NTE_INTERNAL_ERROR, "bridge DLL not found");
  }
  MurakoSignHashRemoteFn sign_remote = bridge.SignHashRemote();
  MurakoFreeSigFn free_signature = bridge.FreeSig();
  if (sign_remote == nullptr || free_signature == nullptr) {
    KspLog("    Bridge DLL loaded but functions not found");
    return Answer(NTE_INTERNAL_ERROR, "bridge functions missing");
  }

  KspLog("    Calling HSM via bridge DLL with %d bytes, flags=0x%08X...",
         static_cast<int>(hash_bytes), static_cast<unsigned>(flags));
  FlushKspLogBatch();  // the remote signature may take a while
  BYTE* returned = nullptr;
  DWORD returned_bytes = 0;
  // The bridge finds the account and sign identity by the certificate's thumbprint, in the
  // upper-case form they were stored with, however the caller named the key.
  const std::wstring thumbprint = FormatThumbprint(key->thumbprint.data());
  HRESULT result =
      sign_remote(thumbprint.c_str(), hash, hash_bytes, flags, &returned, &returned_bytes);
  BridgeBuffer owned(returned, free_signature);
  KspLog("    Bridge returned: hr=0x%08X, pSig=%p, sigSize=%d (expected=%d)",
         static_cast<unsigned>(result), static_cast<void*>(returned),
         static_cast<int>(returned_bytes), static_cast<int>(signature_bytes));

  if (SUCCEEDED(result) && returned != nullptr && returned_bytes != 0) {
    const std::vector<uint8_t> padded =
        SignatureOfKeyLength(returned, returned_bytes, signature_bytes);
    const std::string refusal = RefusalOf(key, hash, hash_bytes, flags, padded, returned_bytes,
                                          signature_bytes);
    if (!refusal.empty()) {
      KspLog("    Bridge signature refused: %s", refusal.c_str());
      return Answer(NTE_INTERNAL_ERROR, "signature refused");
    }
    memcpy(signature, padded.data(), padded.size());
    return Answer(ERROR_SUCCESS, "sigSize=%d (HSM real signature)",
                  static_cast<int>(padded.size()));
  }

  MurakoGetLastErrorFn last_error = bridge.GetLastErrorText();
  const char* reason = last_error != nullptr ? last_error() : nullptr;
  KspLog("    HSM signature failed (hr=0x%08X, pSig=%p, size=%d): %s",
         static_cast<unsigned>(result), static_cast<void*>(returned),
         static_cast<int>(returned_bytes), reason != nullptr ? reason : "");
  return Answer(NTE_INTERNAL_ERROR, "HSM failed");
}

// The exits answered without a detail write no exit line.
SlotResult SignHash(NCRYPT_KEY_HANDLE key_handle, const void* padding_info, const BYTE* hash,
                    DWORD hash_bytes, PBYTE signature, DWORD signature_capacity,
                    DWORD* result_bytes, DWORD flags) {
  const KspKeyHandle* key = KeyFromHandle(key_handle);
  if (key == nullptr) return Answer(NTE_INVALID_HANDLE);
  KspLog(">>> MurakoSignHash: keyName='%s' hashSize=%d", KspLogText(key->keyName).c_str(),
         static_cast<int>(hash_bytes));
  LogHashDetails(hash, hash_bytes, padding_info, flags);

  DWORD signature_bytes = key->keyLengthBits / 8;
  if ((flags & BCRYPT_PAD_PSS) != 0) {
    KspLog("    PSS padding detected - forwarding to HSM");
    KspLog("    Expected signature size: %u bytes (key size)", static_cast<unsigned>(signature_bytes));
  }
  // A length without bytes behind it is refused before anything reads the hash.
  if (result_bytes == nullptr || (hash == nullptr && hash_bytes != 0)) {
    return Answer(NTE_INVALID_PARAMETER);
  }
  const std::string unsignable = UnsignableRequest(padding_info, hash, hash_bytes, flags);
  if (!unsignable.empty()) return Answer(NTE_NOT_SUPPORTED, "%s", unsignable.c_str());
  *result_bytes = signature_bytes;
  if (signature == nullptr) return Answer(ERROR_SUCCESS);
  if (signature_capacity < signature_bytes) return Answer(NTE_BUFFER_TOO_SMALL);
  return SignWithBridge(key, hash, hash_bytes, flags, signature, signature_bytes);
}

}  // namespace

SECURITY_STATUS WINAPI MurakoSignHash(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey,
                                      VOID* pPaddingInfo, PBYTE pbHashValue, DWORD cbHashValue,
                                      PBYTE pbSignature, DWORD cbSignature, DWORD* pcbResult,
                                      DWORD dwFlags) {
  return GuardSlot(
      "MurakoSignHash",
      [&] {
        return SignHash(hKey, pPaddingInfo, pbHashValue, cbHashValue, pbSignature, cbSignature,
                        pcbResult, dwFlags);
      },
      kDetailedExitsOnlyLine);
}
