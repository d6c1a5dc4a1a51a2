#pragma once

// The functions that fill the provider's CNG function table.

#include "key_storage_function_table.h"

SECURITY_STATUS WINAPI MurakoOpenProvider(NCRYPT_PROV_HANDLE* phProvider, LPCWSTR pszProviderName,
                                          DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoFreeProvider(NCRYPT_PROV_HANDLE hProvider);
SECURITY_STATUS WINAPI MurakoFreeKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey);
SECURITY_STATUS WINAPI MurakoFreeBuffer(PVOID pvInput);

SECURITY_STATUS WINAPI MurakoOpenKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE* phKey,
                                     LPCWSTR pszKeyName, DWORD dwLegacyKeySpec, DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoEnumKeys(NCRYPT_PROV_HANDLE hProvider, LPCWSTR pszScope,
                                      NCryptKeyName** ppKeyName, PVOID* ppEnumState,
                                      DWORD dwFlags);

SECURITY_STATUS WINAPI MurakoGetProviderProperty(NCRYPT_PROV_HANDLE hProvider, LPCWSTR pszProperty,
                                                 PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                                 DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoGetKeyProperty(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                            LPCWSTR pszProperty, PBYTE pbOutput, DWORD cbOutput,
                                            DWORD* pcbResult, DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoSetProviderProperty(NCRYPT_PROV_HANDLE hProvider, LPCWSTR pszProperty,
                                                 PBYTE pbInput, DWORD cbInput, DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoSetKeyProperty(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                            LPCWSTR pszProperty, PBYTE pbInput, DWORD cbInput,
                                            DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoIsAlgSupported(NCRYPT_PROV_HANDLE hProvider, LPCWSTR pszAlgId,
                                            DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoEnumAlgorithms(NCRYPT_PROV_HANDLE hProvider, DWORD dwAlgOperations,
                                            DWORD* pdwAlgCount, NCryptAlgorithmName** ppAlgList,
                                            DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoExportKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                       NCRYPT_KEY_HANDLE hExportKey, LPCWSTR pszBlobType,
                                       NCryptBufferDesc* pParameterList, PBYTE pbOutput,
                                       DWORD cbOutput, DWORD* pcbResult, DWORD dwFlags);

SECURITY_STATUS WINAPI MurakoCreatePersistedKey(NCRYPT_PROV_HANDLE hProvider,
                                                NCRYPT_KEY_HANDLE* phKey, LPCWSTR pszAlgId,
                                                LPCWSTR pszKeyName, DWORD dwLegacyKeySpec,
                                                DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoFinalizeKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                         DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoDeleteKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                       DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoImportKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hImportKey,
                                       LPCWSTR pszBlobType, NCryptBufferDesc* pParameterList,
                                       NCRYPT_KEY_HANDLE* phKey, PBYTE pbData, DWORD cbData,
                                       DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoVerifySignature(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                             VOID* pPaddingInfo, PBYTE pbHashValue,
                                             DWORD cbHashValue, PBYTE pbSignature,
                                             DWORD cbSignature, DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoPromptUser(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                        LPCWSTR pszOperation, DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoNotifyChangeKey(NCRYPT_PROV_HANDLE hProvider, HANDLE* phEvent,
                                             DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoSecretAgreement(NCRYPT_PROV_HANDLE hProvider,
                                             NCRYPT_KEY_HANDLE hPrivKey, NCRYPT_KEY_HANDLE hPubKey,
                                             NCRYPT_SECRET_HANDLE* phAgreedSecret, DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoDeriveKey(NCRYPT_PROV_HANDLE hProvider,
                                       NCRYPT_SECRET_HANDLE hSharedSecret, LPCWSTR pwszKDF,
                                       NCryptBufferDesc* pParameterList, PBYTE pbDerivedKey,
                                       DWORD cbDerivedKey, DWORD* pcbResult, ULONG dwFlags);
SECURITY_STATUS WINAPI MurakoFreeSecret(NCRYPT_PROV_HANDLE hProvider,
                                        NCRYPT_SECRET_HANDLE hSharedSecret);

SECURITY_STATUS WINAPI MurakoSignHash(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                      VOID* pPaddingInfo, PBYTE pbHashValue, DWORD cbHashValue,
                                      PBYTE pbSignature, DWORD cbSignature, DWORD* pcbResult,
                                      DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoEncrypt(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                     PBYTE pbInput, DWORD cbInput, VOID* pPaddingInfo,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                     DWORD dwFlags);
SECURITY_STATUS WINAPI MurakoDecrypt(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hKey,
                                     PBYTE pbInput, DWORD cbInput, VOID* pPaddingInfo,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                     DWORD dwFlags);
