// Encrypt and Decrypt are refused: the service only signs, so no key operation can back either,
// and an answer without one would hand the caller its data in clear.

#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"

namespace {

// Every call is refused alike, a size query included; nothing is written for the caller.
SECURITY_STATUS RefusedSlot(const char* function_name, DWORD input_bytes, DWORD output_bytes) {
  return GuardSlot(function_name, [&] {
    KspLog(">>> %s: cbInput=%lu, cbOutput=%lu", function_name, input_bytes, output_bytes);
    return Answer(NTE_NOT_SUPPORTED, "the key only signs");
  });
}

}  // namespace

SECURITY_STATUS WINAPI MurakoEncrypt(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE /*hKey*/,
                                     PBYTE /*pbInput*/, DWORD cbInput, VOID* /*pPaddingInfo*/,
                                     PBYTE /*pbOutput*/, DWORD cbOutput, DWORD* /*pcbResult*/,
                                     DWORD /*dwFlags*/) {
  return RefusedSlot("MurakoEncrypt", cbInput, cbOutput);
}

SECURITY_STATUS WINAPI MurakoDecrypt(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE /*hKey*/,
                                     PBYTE /*pbInput*/, DWORD cbInput, VOID* /*pPaddingInfo*/,
                                     PBYTE /*pbOutput*/, DWORD cbOutput, DWORD* /*pcbResult*/,
                                     DWORD /*dwFlags*/) {
  return RefusedSlot("MurakoDecrypt", cbInput, cbOutput);
}
