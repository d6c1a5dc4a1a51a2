#pragma once

#include <windows.h>
#include <wincrypt.h>

// RSA key length in bits judged from the size of the public key's bit-string contents (the DER
// of modulus and exponent): 140, 270, 398 and 526 bytes for 1024 to 4096 bits with exponent
// 65537. Unusual sizes fall back to 2048 bits.
DWORD KeyLengthForPublicKeySize(DWORD public_key_bytes);

// The same judgement for a certificate's public key information, with its debug-log lines.
DWORD KeyLengthFromPublicKey(const CERT_PUBLIC_KEY_INFO* info);
