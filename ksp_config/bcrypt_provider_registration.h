#pragma once

// CNG provider-registration functions of bcrypt.dll, declared here from Microsoft's documented
// signatures for every compiler: mingw-w64's bcrypt.h has only the structures
// (CRYPT_PROVIDER_REG and friends), and the Windows SDK's bcrypt.h need not declare them (they
// belong to the provider development kit). A header that does declares them the same way,
// which C++ allows.

#include <windows.h>
#include <bcrypt.h>

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

#ifndef CRYPT_OVERWRITE
#define CRYPT_OVERWRITE 0x00000001
#endif
