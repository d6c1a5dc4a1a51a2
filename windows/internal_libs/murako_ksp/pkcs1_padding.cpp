#include "pkcs1_padding.h"

#include <cstring>

long EncryptionPaddingLength(uint32_t block_bytes, uint32_t input_bytes) {
  long long padding = static_cast<long long>(block_bytes) - input_bytes - 3;
  return padding < 8 ? -1 : static_cast<long>(padding);
}

void WriteEncryptionBlock(const uint8_t* input, uint32_t input_bytes, uint32_t padding_bytes,
                          uint8_t* block) {
  block[0] = 0x00;
  block[1] = 0x02;
  for (uint32_t i = 0; i < padding_bytes; ++i) {
    block[2 + i] = static_cast<uint8_t>(((i + 66) % 255) + 1);
  }
  block[padding_bytes + 2] = 0x00;
  // An empty input may come without a buffer; memcpy from a null pointer is undefined even
  // for no bytes.
  if (input_bytes > 0) memcpy(block + padding_bytes + 3, input, input_bytes);
}

UnpadResult FindPlaintext(const uint8_t* block, uint32_t block_bytes, uint32_t* plaintext_offset) {
  if (block_bytes <= 10) {
    return UnpadResult::kTooSmall;
  }
  if (block[0] != 0x00 || block[1] != 0x02) {
    return UnpadResult::kBadHeader;
  }
  for (uint32_t i = 2; i < block_bytes; ++i) {
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
