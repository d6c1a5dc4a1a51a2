// The library's entry points: the CNG function table handed out by GetKeyStorageInterface.

#include "cert_store.h"
#include "cxx_runtime_release.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "own_unwind_tables.h"

namespace {

const NCRYPT_KEY_STORAGE_FUNCTION_TABLE kFunctionTable = {
    NCRYPT_KEY_STORAGE_INTERFACE_VERSION,
    MurakoOpenProvider,
    MurakoOpenKey,
    MurakoCreatePersistedKey,
    MurakoGetProviderProperty,
    MurakoGetKeyProperty,
    MurakoSetProviderProperty,
    MurakoSetKeyProperty,
    MurakoFinalizeKey,
    MurakoDeleteKey,
    MurakoFreeProvider,
    MurakoFreeKey,
    MurakoFreeBuffer,
    MurakoEncrypt,
    MurakoDecrypt,
    MurakoIsAlgSupported,
    MurakoEnumAlgorithms,
    MurakoEnumKeys,
    MurakoImportKey,
    MurakoExportKey,
    MurakoSignHash,
    MurakoVerifySignature,
    MurakoPromptUser,
    MurakoNotifyChangeKey,
    MurakoSecretAgreement,
    MurakoDeriveKey,
    MurakoFreeSecret,
#ifndef SENDARO_HAVE_NCRYPT_PROVIDER_HEADER
    nullptr,  // KeyDerivation
    nullptr,  // CreateClaim
    nullptr,  // VerifyClaim
#endif
};

}  // namespace

extern "C" NTSTATUS WINAPI GetKeyStorageInterface(LPCWSTR pszProviderName,
                                                  NCRYPT_KEY_STORAGE_FUNCTION_TABLE** ppFunctionTable,
                                                  DWORD /*dwFlags*/) {
  return GuardSlot(
      "GetKeyStorageInterface",
      [&] {
        KspLog(">>> GetKeyStorageInterface called (Provider: %s)",
               KspLogText(pszProviderName).c_str());
        if (ppFunctionTable == nullptr) return Answer(NTE_INVALID_PARAMETER);
        // CNG never writes through the table pointer; the interface type is simply not const.
        *ppFunctionTable = const_cast<NCRYPT_KEY_STORAGE_FUNCTION_TABLE*>(&kFunctionTable);
        KspLog("    GetKeyStorageInterface returning SUCCESS");
        return Answer(ERROR_SUCCESS);
      },
      kFailuresOnlyExitLine);
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  KeepOwnUnwindTables(reason);
  // Process exit (reserved not null): runs before the runtime's destructors of this library.
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) AbandonPersonalStoreAtProcessExit();
  ReleaseCxxRuntimeOnUnload(reason, reserved);
  return TRUE;
}
