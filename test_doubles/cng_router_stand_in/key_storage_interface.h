#pragma once

// The CNG key storage provider interface as the router sees it: the function table a provider
// image hands out through GetKeyStorageInterface. The Windows provider kit declares it in
// ncrypt_provider.h; mingw-w64 has no such header, so the documented layout is declared here.

#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>

#if defined(__has_include)
#if __has_include(<ncrypt_provider.h>)
#include <ncrypt_provider.h>
#define CNG_ROUTER_HAVE_PROVIDER_HEADER 1
#endif
#endif

#ifndef CNG_ROUTER_HAVE_PROVIDER_HEADER

typedef SECURITY_STATUS(WINAPI* NCryptOpenStorageProviderFn)(NCRYPT_PROV_HANDLE*, LPCWSTR, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptOpenKeyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE*, LPCWSTR,
                                                 DWORD, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptCreatePersistedKeyFn)(NCRYPT_PROV_HANDLE,
                                                            NCRYPT_KEY_HANDLE*, LPCWSTR, LPCWSTR,
                                                            DWORD, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptGetProviderPropertyFn)(NCRYPT_PROV_HANDLE, LPCWSTR, PBYTE,
                                                             DWORD, DWORD*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptGetKeyPropertyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE,
                                                        LPCWSTR, PBYTE, DWORD, DWORD*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptSetProviderPropertyFn)(NCRYPT_PROV_HANDLE, LPCWSTR, PBYTE,
                                                             DWORD, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptSetKeyPropertyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE,
                                                        LPCWSTR, PBYTE, DWORD, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptFinalizeKeyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptDeleteKeyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptFreeProviderFn)(NCRYPT_PROV_HANDLE);
typedef SECURITY_STATUS(WINAPI* NCryptFreeKeyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE);
typedef SECURITY_STATUS(WINAPI* NCryptFreeBufferFn)(PVOID);
typedef SECURITY_STATUS(WINAPI* NCryptEncryptFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, PBYTE,
                                                 DWORD, VOID*, PBYTE, DWORD, DWORD*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptDecryptFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, PBYTE,
                                                 DWORD, VOID*, PBYTE, DWORD, DWORD*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptIsAlgSupportedFn)(NCRYPT_PROV_HANDLE, LPCWSTR, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptEnumAlgorithmsFn)(NCRYPT_PROV_HANDLE, DWORD, DWORD*,
                                                        NCryptAlgorithmName**, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptEnumKeysFn)(NCRYPT_PROV_HANDLE, LPCWSTR, NCryptKeyName**,
                                                  PVOID*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptImportKeyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, LPCWSTR,
                                                   NCryptBufferDesc*, NCRYPT_KEY_HANDLE*, PBYTE,
                                                   DWORD, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptExportKeyFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE,
                                                   NCRYPT_KEY_HANDLE, LPCWSTR, NCryptBufferDesc*,
                                                   PBYTE, DWORD, DWORD*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptSignHashFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, VOID*,
                                                  PBYTE, DWORD, PBYTE, DWORD, DWORD*, DWORD);
typedef SECURITY_STATUS(WINAPI* NCryptVerifySignatureFn)(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE,
                                                         VOID*, PBYTE, DWORD, PBYTE, DWORD, DWORD);

typedef struct _NCRYPT_KEY_STORAGE_FUNCTION_TABLE {
  BCRYPT_INTERFACE_VERSION Version;
  NCryptOpenStorageProviderFn OpenProvider;
  NCryptOpenKeyFn OpenKey;
  NCryptCreatePersistedKeyFn CreatePersistedKey;
  NCryptGetProviderPropertyFn GetProviderProperty;
  NCryptGetKeyPropertyFn GetKeyProperty;
  NCryptSetProviderPropertyFn SetProviderProperty;
  NCryptSetKeyPropertyFn SetKeyProperty;
  NCryptFinalizeKeyFn FinalizeKey;
  NCryptDeleteKeyFn DeleteKey;
  NCryptFreeProviderFn FreeProvider;
  NCryptFreeKeyFn FreeKey;
  NCryptFreeBufferFn FreeBuffer;
  NCryptEncryptFn Encrypt;
  NCryptDecryptFn Decrypt;
  NCryptIsAlgSupportedFn IsAlgSupported;
  NCryptEnumAlgorithmsFn EnumAlgorithms;
  NCryptEnumKeysFn EnumKeys;
  NCryptImportKeyFn ImportKey;
  NCryptExportKeyFn ExportKey;
  NCryptSignHashFn SignHash;
  NCryptVerifySignatureFn VerifySignature;
  // PromptUser, NotifyChangeKey, SecretAgreement, DeriveKey, FreeSecret and the later
  // KeyDerivation, CreateClaim, VerifyClaim: the router does not route these.
  void* UnroutedSlots[8];
} NCRYPT_KEY_STORAGE_FUNCTION_TABLE;

#endif  // CNG_ROUTER_HAVE_PROVIDER_HEADER

typedef NTSTATUS(WINAPI* GetKeyStorageInterfaceFn)(LPCWSTR pszProviderName,
                                                   NCRYPT_KEY_STORAGE_FUNCTION_TABLE** ppFunctionTable,
                                                   DWORD dwFlags);
