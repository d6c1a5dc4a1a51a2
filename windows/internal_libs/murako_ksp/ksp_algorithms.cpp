// The one supported algorithm (RSA signing), the public key export and the operations a
// read-only, signing-only provider refuses.

#include <cstring>
#include <cwchar>
#include <string>

#include "key_certificate.h"
#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "unique_handle.h"

namespace {

SlotResult IsAlgSupported(LPCWSTR algorithm, DWORD flags) {
  std::string algorithm_text = KspLogText(algorithm, 256);
  KspLog(">>> MurakoIsAlgSupported: algId='%s', flags=0x%08X", algorithm_text.c_str(),
         static_cast<unsigned>(flags));
  if (algorithm != nullptr && wcscmp(algorithm, BCRYPT_RSA_ALGORITHM) == 0) {
    return Answer(ERROR_SUCCESS, "RSA supported");
  }
  return Answer(NTE_NOT_SUPPORTED, "algId='%s'", algorithm_text.c_str());
}

NCryptAlgorithmName* CreateAlgorithmList() {
  static const wchar_t kName[] = L"RSA";
  NCryptAlgorithmName* entry =
      static_cast<NCryptAlgorithmName*>(KspHeapAlloc(sizeof(NCryptAlgorithmName) + sizeof(kName)));
  if (entry == nullptr) {
    return nullptr;
  }
  BYTE* name = reinterpret_cast<BYTE*>(entry) + sizeof(NCryptAlgorithmName);
  memcpy(name, kName, sizeof(kName));
  entry->pszName = reinterpret_cast<LPWSTR>(name);
  entry->dwClass = NCRYPT_ASYMMETRIC_ENCRYPTION_INTERFACE;
  entry->dwAlgOperations = NCRYPT_SIGNATURE_OPERATION;
  entry->dwFlags = 0;
  return entry;
}

SlotResult EnumAlgorithms(DWORD operations, DWORD* count, NCryptAlgorithmName** list,
                          DWORD flags) {
  KspLog(">>> MurakoEnumAlgorithms: operations=0x%08X, flags=0x%08X",
         static_cast<unsigned>(operations), static_cast<unsigned>(flags));
  if (count == nullptr || list == nullptr) return Answer(NTE_INVALID_PARAMETER);
  if (operations != 0 && (operations & NCRYPT_SIGNATURE_OPERATION) == 0) {
    *count = 0;
    *list = nullptr;
    return Answer(ERROR_SUCCESS, "0 algorithms, no signing requested");
  }
  NCryptAlgorithmName* entry = CreateAlgorithmList();
  if (entry == nullptr) return Answer(NTE_NO_MEMORY);
  *count = 1;
  *list = entry;
  return Answer(ERROR_SUCCESS, "1 algorithm: RSA, SIGNATURE_OPERATION");
}

SlotResult ExportKey(NCRYPT_KEY_HANDLE key_handle, LPCWSTR blob_type, PBYTE output,
                     DWORD output_bytes, DWORD* result_bytes) {
  KspLog(">>> MurakoExportKey: blobType='%s', cbOutput=%lu", KspLogText(blob_type, 256).c_str(),
         output_bytes);
  const KspKeyHandle* key = KeyFromHandle(key_handle);
  if (key == nullptr) return Answer(NTE_INVALID_HANDLE);
  if (result_bytes == nullptr) return Answer(NTE_INVALID_PARAMETER);
  // The generic public blob of an RSA key is the RSA public blob, as Windows' own providers
  // answer it: callers comparing a certificate with its key may ask for either.
  if (blob_type == nullptr || (wcscmp(blob_type, BCRYPT_RSAPUBLIC_BLOB) != 0 &&
                               wcscmp(blob_type, BCRYPT_PUBLIC_KEY_BLOB) != 0)) {
    return Answer(NTE_NOT_SUPPORTED, "only BCRYPT_RSAPUBLIC_BLOB supported");
  }
  switch (KeyCertificatePresence(*key)) {
    case CertificatePresence::kStoreUnavailable:
      KspLog("    Failed to open certificate store");
      return Answer(NTE_FAIL);
    case CertificatePresence::kRemoved:
      KspLog("    Certificate not found in store");
      return Answer(NTE_NOT_FOUND);
    case CertificatePresence::kPresent:
      break;
  }
  const CRYPT_BIT_BLOB& public_key = key->certificate->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  UniqueLocalMemory blob;
  DWORD blob_bytes = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB,
                           public_key.pbData, public_key.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           blob.put(), &blob_bytes)) {
    KspLog("    Failed to decode public key");
    return Answer(NTE_FAIL);
  }
  *result_bytes = blob_bytes;
  if (output == nullptr) return Answer(ERROR_SUCCESS, "query size=%lu", blob_bytes);
  if (output_bytes < blob_bytes) return Answer(NTE_BUFFER_TOO_SMALL);
  memcpy(output, blob.get(), blob_bytes);
  return Answer(ERROR_SUCCESS, "exported %lu bytes", blob_bytes);
}

}  // namespace

SECURITY_STATUS WINAPI MurakoIsAlgSupported(NCRYPT_PROV_HANDLE /*hProvider*/, LPCWSTR pszAlgId,
                                            DWORD dwFlags) {
  return GuardSlot("MurakoIsAlgSupported", [&] { return IsAlgSupported(pszAlgId, dwFlags); });
}

SECURITY_STATUS WINAPI MurakoEnumAlgorithms(NCRYPT_PROV_HANDLE /*hProvider*/,
                                            DWORD dwAlgOperations, DWORD* pdwAlgCount,
                                            NCryptAlgorithmName** ppAlgList, DWORD dwFlags) {
  return GuardSlot("MurakoEnumAlgorithms", [&] {
    return EnumAlgorithms(dwAlgOperations, pdwAlgCount, ppAlgList, dwFlags);
  });
}

SECURITY_STATUS WINAPI MurakoExportKey(NCRYPT_PROV_HANDLE /*hProvider*/, NCRYPT_KEY_HANDLE hKey,
                                       NCRYPT_KEY_HANDLE /*hExportKey*/, LPCWSTR pszBlobType,
                                       NCryptBufferDesc* /*pParameterList*/, PBYTE pbOutput,
                                       DWORD cbOutput, DWORD* pcbResult, DWORD /*dwFlags*/) {
  return GuardSlot("MurakoExportKey", [&] {
    return ExportKey(hKey, pszBlobType, pbOutput, cbOutput, pcbResult);
  });
}

SECURITY_STATUS WINAPI MurakoCreatePersistedKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE*, LPCWSTR,
                                                LPCWSTR, DWORD, DWORD) {
  return RefuseSlot("MurakoCreatePersistedKey", "read-only KSP");
}

SECURITY_STATUS WINAPI MurakoFinalizeKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, DWORD) {
  return RefuseSlot("MurakoFinalizeKey", "read-only KSP");
}

SECURITY_STATUS WINAPI MurakoDeleteKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, DWORD) {
  return RefuseSlot("MurakoDeleteKey", "read-only KSP");
}

SECURITY_STATUS WINAPI MurakoImportKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, LPCWSTR,
                                       NCryptBufferDesc*, NCRYPT_KEY_HANDLE*, PBYTE, DWORD,
                                       DWORD) {
  return RefuseSlot("MurakoImportKey", "read-only KSP");
}

SECURITY_STATUS WINAPI MurakoVerifySignature(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, VOID*, PBYTE,
                                             DWORD, PBYTE, DWORD, DWORD) {
  return RefuseSlot("MurakoVerifySignature", "signing-only KSP");
}

SECURITY_STATUS WINAPI MurakoPromptUser(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, LPCWSTR, DWORD) {
  return RefuseSlot("MurakoPromptUser", "");
}

SECURITY_STATUS WINAPI MurakoNotifyChangeKey(NCRYPT_PROV_HANDLE, HANDLE*, DWORD) {
  return RefuseSlot("MurakoNotifyChangeKey", "");
}

SECURITY_STATUS WINAPI MurakoSecretAgreement(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE,
                                             NCRYPT_KEY_HANDLE, NCRYPT_SECRET_HANDLE*, DWORD) {
  return RefuseSlot("MurakoSecretAgreement", "");
}

SECURITY_STATUS WINAPI MurakoDeriveKey(NCRYPT_PROV_HANDLE, NCRYPT_SECRET_HANDLE, LPCWSTR,
                                       NCryptBufferDesc*, PBYTE, DWORD, DWORD*, ULONG) {
  return RefuseSlot("MurakoDeriveKey", "");
}

SECURITY_STATUS WINAPI MurakoFreeSecret(NCRYPT_PROV_HANDLE, NCRYPT_SECRET_HANDLE) {
  return RefuseSlot("MurakoFreeSecret", "");
}
