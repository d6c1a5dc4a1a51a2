#include "key_length.h"

#include "ksp_log.h"

DWORD KeyLengthForPublicKeySize(DWORD public_key_bytes) {
  if (public_key_bytes >= 510) return 4096;
  if (public_key_bytes >= 380) return 3072;
  if (public_key_bytes >= 250) return 2048;
  if (public_key_bytes >= 125) return 1024;
  return 2048;
}

DWORD KeyLengthFromPublicKey(const CERT_PUBLIC_KEY_INFO* info) {
  if (info == nullptr || info->PublicKey.cbData == 0) {
    KspLog("    WARNING: Invalid public key info, using default 2048 bits");
    return 2048;
  }
  DWORD bytes = info->PublicKey.cbData;
  KspLog("    Public key DER size: %d bytes", static_cast<int>(bytes));
  DWORD bits = KeyLengthForPublicKeySize(bytes);
  if (bytes < 125) {
    KspLog("    WARNING: Unexpected key size (cbData=%d), using default 2048 bits",
           static_cast<int>(bytes));
  } else {
    KspLog("    Detected RSA %lu-bit key", bits);
  }
  return bits;
}
