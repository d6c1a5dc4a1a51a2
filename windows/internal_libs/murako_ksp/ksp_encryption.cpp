// Encrypt and Decrypt only add or strip PKCS #1 v1.5 block type 2 padding; no key operation
// takes place, as the provider holds no key material.

#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "pkcs1_padding.h"

#include <cstring>

namespace {

using PaddingCore = SlotResult (*)(const KspKeyHandle& key, const BYTE* input, DWORD input_bytes,
                                   PBYTE output, DWORD output_bytes, DWORD* result_bytes);

SlotResult Encrypt(const KspKeyHandle& key, const BYTE* input, DWORD input_bytes, PBYTE output,
                   DWORD output_bytes, DWORD* result_bytes) {
  DWORD block_bytes = key.keyLengthBits / 8;
  if (output == nullptr) {
    *result_bytes = block_bytes;
    return Answer(ERROR_SUCCESS, "query size, need %lu bytes", block_bytes);
  }
  if (output_bytes < block_bytes) {
    *result_bytes = block_bytes;
    return Answer(NTE_BUFFER_TOO_SMALL, "provided=%lu, need=%lu", output_bytes, block_bytes);
  }
  long padding = EncryptionPaddingLength(block_bytes, input_bytes);
  if (padding < 0) return Answer(NTE_BUFFER_TOO_SMALL, "input too large for key");
  WriteEncryptionBlock(input, input_bytes, static_cast<DWORD>(padding), output);
  *result_bytes = block_bytes;
  return Answer(ERROR_SUCCESS, "PKCS#1 padding: %lu pad + %lu data = %lu bytes",
                static_cast<unsigned long>(padding), input_bytes, block_bytes);
}

SlotResult Decrypt(const KspKeyHandle& /*key*/, const BYTE* input, DWORD input_bytes,
                   PBYTE output, DWORD output_bytes, DWORD* result_bytes) {
  uint32_t offset = 0;
  switch (FindPlaintext(input, input_bytes, &offset)) {
    case UnpadResult::kTooSmall:
      return Answer(NTE_INVALID_PARAMETER, "input too small");
    case UnpadResult::kBadHeader:
      return Answer(NTE_INVALID_PARAMETER, "invalid PKCS#1 header: %02X %02X", input[0], input[1]);
    case UnpadResult::kNoSeparator:
      return Answer(NTE_INVALID_PARAMETER, "separator not found or padding too short");
    case UnpadResult::kOk:
      break;
  }
  DWORD plaintext_bytes = input_bytes - offset;
  *result_bytes = plaintext_bytes;
  if (output == nullptr) {
    return Answer(ERROR_SUCCESS, "query size, plaintext=%lu bytes", plaintext_bytes);
  }
  if (output_bytes < plaintext_bytes) {
    return Answer(NTE_BUFFER_TOO_SMALL, "provided=%lu, need=%lu", output_bytes, plaintext_bytes);
  }
  memmove(output, input + offset, plaintext_bytes);
  return Answer(ERROR_SUCCESS, "extracted %lu bytes plaintext from %lu bytes padded",
                plaintext_bytes, input_bytes);
}

// Both operations log their sizes and check the key and the arguments before their own work.
SECURITY_STATUS PaddingSlot(const char* function_name, PaddingCore core,
                            NCRYPT_KEY_HANDLE key_handle, const BYTE* input, DWORD input_bytes,
                            PBYTE output, DWORD output_bytes, DWORD* result_bytes) {
  return GuardSlot(function_name, [&] {
    KspLog(">>> %s: cbInput=%lu, cbOutput=%lu", function_name, input_bytes, output_bytes);
    const KspKeyHandle* key = KeyFromHandle(key_handle);
    if (key == nullptr) return Answer(NTE_INVALID_HANDLE);
    if (input == nullptr || input_bytes == 0 || result_bytes == nullptr) {
      return Answer(NTE_INVALID_PARAMETER);
    }
    return core(*key, input, input_bytes, output, output_bytes, result_bytes);
  });
}

}  // namespace

SECURITY_STATUS WINAPI MurakoEncrypt(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey,
                                     PBYTE pbInput, DWORD cbInput, VOID* /*pPaddingInfo*/,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                     DWORD /*dwFlags*/) {
  return PaddingSlot("MurakoEncrypt", Encrypt, hKey, pbInput, cbInput, pbOutput, cbOutput,
                     pcbResult);
}

SECURITY_STATUS WINAPI MurakoDecrypt(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey,
                                     PBYTE pbInput, DWORD cbInput, VOID* /*pPaddingInfo*/,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                     DWORD /*dwFlags*/) {
  return PaddingSlot("MurakoDecrypt", Decrypt, hKey, pbInput, cbInput, pbOutput, cbOutput,
                     pcbResult);
}
