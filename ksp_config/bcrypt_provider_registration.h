#pragma once

// CNG provider-registration functions of bcrypt.dll. The Windows SDK declares them in bcrypt.h;
// mingw-w64's bcrypt.h has the structures (CRYPT_PROVIDER_REG and friends) but not these
// prototypes, so they are declared here from Microsoft's documented signatures.

#include <windows.h>
#include <bcrypt.h>

#if defined(__MINGW32__)
extern "C" {
NTSTATUS WINAPI BCryptRegisterProvider(LPCWSTR pszProvider, ULONG dwFlags,
                                       PCRYPT_PROVIDER_REG pReg);
NTSTATUS WINAPI BCryptUnregisterProvider(LPCWSTR pszProvider);
NTSTATUS WINAPI BCryptAddContextFunctionProvider(ULONG dwTable, LPCWSTR pszContext,
                                                 ULONG dwInterface, LPCWSTR pszFunction,
                                                 LPCWSTR pszProvider, ULONG dwPosition);
NTSTATUS WINAPI BCryptRemoveContextFunctionProvider(ULONG dwTable, LPCWSTR pszContext,
                                                    ULONG dwInterface, LPCWSTR pszFunction,
                                                    LPCWSTR pszProvider);
}
#endif

#ifndef CRYPT_OVERWRITE
#define CRYPT_OVERWRITE 0x00000001
#endif
