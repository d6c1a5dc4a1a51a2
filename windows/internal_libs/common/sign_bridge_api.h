#pragma once

// The three exports of the signing bridge "murako_sign_bridge.dll", declared once for the
// bridge that defines them and for every program that loads it, so that the compiler holds
// both sides to the same signatures.

#include <windows.h>

extern "C" {

// Has the remote service sign `hash` (a raw SHA-256/384/512 hash or its PKCS #1 DigestInfo)
// with the key of `key_name`, padded as `padding_flags` says (BCRYPT_PAD_PSS or PKCS #1 v1.5).
// S_OK hands over a buffer that the caller returns through MurakoFreeSig; a failure leaves its
// reason for MurakoGetLastError on the calling thread.
HRESULT WINAPI MurakoSignHashRemote(LPCWSTR key_name, const BYTE* hash, DWORD hash_bytes,
                                    DWORD padding_flags, BYTE** signature,
                                    DWORD* signature_bytes);

// The calling thread's last failure text; never null.
const char* WINAPI MurakoGetLastError();

void WINAPI MurakoFreeSig(BYTE* signature);

}  // extern "C"

using MurakoSignHashRemoteFn = decltype(&MurakoSignHashRemote);
using MurakoGetLastErrorFn = decltype(&MurakoGetLastError);
using MurakoFreeSigFn = decltype(&MurakoFreeSig);

constexpr wchar_t kSignBridgeFileName[] = L"murako_sign_bridge.dll";
