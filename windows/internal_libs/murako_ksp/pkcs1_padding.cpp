#include "pkcs1_padding.h"

#include <cstring>

long EncryptionPaddingLength(DWORD block_bytes, DWORD input_bytes) {
  long long padding = static_cast<long long>(block_bytes) - input_bytes - 3;
  return padding < 8 ? -1 : static_cast<long>(padding);
}

void WriteEncryptionBlock(const BYTE* input, DWORD input_bytes, DWORD padding_bytes, BYTE* block) {
  block[0] = 0x00;
  block[1] = 0x02;
  for (DWORD i = 0; i < padding_bytes; ++i) {
    block[2 + i] = static_cast<BYTE>(((i + 66) % 255) + 1);
  }
  block[padding_bytes + 2] = 0x00;
  memcpy(block + padding_bytes + 3, input, input_bytes);
}

UnpadResult FindPlaintext(const BYTE* block, DWORD block_bytes, DWORD* plaintext_offset) {
  if (block_bytes <= 10) {
    return UnpadResult::kTooSmall;
  }
  if (block[0] != 0x00 || block[1] != 0x02) {
    return UnpadResult::kBadHeader;
  }
  for (DWORD i = 2; i < block_bytes; ++i) {
    if (block[i] == 0x00) {
      if (i < 10) {
        return UnpadResult::kNoSeparator;
      }
      *plaintext_offset = i + 1;
      return UnpadResult::kOk;
    }
  }
  return UnpadResult::kNoSeparator;
}
