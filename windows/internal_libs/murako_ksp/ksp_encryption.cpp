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

SECURITY_STATUS Encrypt(NCRYPT_KEY_HANDLE key_handle, const BYTE* input, DWORD input_bytes,
                        PBYTE output, DWORD output_bytes, DWORD* result_bytes) {
  KspLog(">>> MurakoEncrypt: cbInput=%lu, cbOutput=%lu", input_bytes, output_bytes);
  const KspKeyHandle* key = KeyFromHandle(key_handle);
  if (key == nullptr) {
    KspLog("<<< MurakoEncrypt: NTE_INVALID_HANDLE");
    return NTE_INVALID_HANDLE;
  }
  if (input == nullptr || input_bytes == 0 || result_bytes == nullptr) {
    KspLog("<<< MurakoEncrypt: NTE_INVALID_PARAMETER");
    return NTE_INVALID_PARAMETER;
  }
  DWORD block_bytes = key->keyLengthBits / 8;
  if (output == nullptr) {
    *result_bytes = block_bytes;
    KspLog("<<< MurakoEncrypt: SUCCESS (query size, need %lu bytes)", block_bytes);
    return ERROR_SUCCESS;
  }
  if (output_bytes < block_bytes) {
    *result_bytes = block_bytes;
    KspLog("<<< MurakoEncrypt: NTE_BUFFER_TOO_SMALL (provided=%lu, need=%lu)", output_bytes,
           block_bytes);
    return NTE_BUFFER_TOO_SMALL;
  }
  long padding = EncryptionPaddingLength(block_bytes, input_bytes);
  if (padding < 0) {
    KspLog("<<< MurakoEncrypt: NTE_BUFFER_TOO_SMALL (input too large for key)");
    return NTE_BUFFER_TOO_SMALL;
  }
  WriteEncryptionBlock(input, input_bytes, static_cast<DWORD>(padding), output);
  *result_bytes = block_bytes;
  KspLog("<<< MurakoEncrypt: SUCCESS (PKCS#1 padding: %lu pad + %lu data = %lu bytes)",
         static_cast<unsigned long>(padding), input_bytes, block_bytes);
  return ERROR_SUCCESS;
}

SECURITY_STATUS Decrypt(NCRYPT_KEY_HANDLE key_handle, const BYTE* input, DWORD input_bytes,
                        PBYTE output, DWORD output_bytes, DWORD* result_bytes) {
  KspLog(">>> MurakoDecrypt: cbInput=%lu, cbOutput=%lu", input_bytes, output_bytes);
  if (KeyFromHandle(key_handle) == nullptr) {
    KspLog("<<< MurakoDecrypt: NTE_INVALID_HANDLE");
    return NTE_INVALID_HANDLE;
  }
  if (input == nullptr || input_bytes == 0 || result_bytes == nullptr) {
    KspLog("<<< MurakoDecrypt: NTE_INVALID_PARAMETER");
    return NTE_INVALID_PARAMETER;
  }
  uint32_t offset = 0;
  switch (FindPlaintext(input, input_bytes, &offset)) {
    case UnpadResult::kTooSmall:
      KspLog("<<< MurakoDecrypt: NTE_INVALID_PARAMETER (input too small)");
      return NTE_INVALID_PARAMETER;
    case UnpadResult::kBadHeader:
      KspLog("<<< MurakoDecrypt: NTE_INVALID_PARAMETER (invalid PKCS#1 header: %02X %02X)",
             input[0], input[1]);
      return NTE_INVALID_PARAMETER;
    case UnpadResult::kNoSeparator:
      KspLog("<<< MurakoDecrypt: NTE_INVALID_PARAMETER (separator not found or padding too short)");
      return NTE_INVALID_PARAMETER;
    case UnpadResult::kOk:
      break;
  }
  DWORD plaintext_bytes = input_bytes - offset;
  *result_bytes = plaintext_bytes;
  if (output == nullptr) {
    KspLog("<<< MurakoDecrypt: SUCCESS (query size, plaintext=%lu bytes)", plaintext_bytes);
    return ERROR_SUCCESS;
  }
  if (output_bytes < plaintext_bytes) {
    KspLog("<<< MurakoDecrypt: NTE_BUFFER_TOO_SMALL (provided=%lu, need=%lu)", output_bytes,
           plaintext_bytes);
    return NTE_BUFFER_TOO_SMALL;
  }
  memmove(output, input + offset, plaintext_bytes);
  KspLog("<<< MurakoDecrypt: SUCCESS (extracted %lu bytes plaintext from %lu bytes padded)",
         plaintext_bytes, input_bytes);
  return ERROR_SUCCESS;
}

}  // namespace

SECURITY_STATUS WINAPI MurakoEncrypt(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey,
                                     PBYTE pbInput, DWORD cbInput, VOID* /*pPaddingInfo*/,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                     DWORD /*dwFlags*/) {
  return GuardSlot("MurakoEncrypt", [&] {
    return Encrypt(hKey, pbInput, cbInput, pbOutput, cbOutput, pcbResult);
  });
}

SECURITY_STATUS WINAPI MurakoDecrypt(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey,
                                     PBYTE pbInput, DWORD cbInput, VOID* /*pPaddingInfo*/,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                     DWORD /*dwFlags*/) {
  return GuardSlot("MurakoDecrypt", [&] {
    return Decrypt(hKey, pbInput, cbInput, pbOutput, cbOutput, pcbResult);
  });
}
