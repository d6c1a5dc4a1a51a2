#pragma once

#include <cstdint>

// PKCS #1 v1.5 encryption padding (block type 2) on blocks that stay in clear: the provider
// holds no private key, so encryption only pads and decryption only strips the padding.

// Padding bytes for an input of `input_bytes` in a block of `block_bytes`; negative when the
// input leaves room for fewer than 8 (input longer than block - 11).
long EncryptionPaddingLength(uint32_t block_bytes, uint32_t input_bytes);

// Writes 00 02, the fixed padding string of `padding_bytes` bytes, 00 and the input into
// `block` (padding_bytes + input_bytes + 3 bytes). The padding string is deterministic and
// never contains zero: byte i is ((i + 66) mod 255) + 1.
void WriteEncryptionBlock(const uint8_t* input, uint32_t input_bytes, uint32_t padding_bytes,
                          uint8_t* block);

enum class UnpadResult { kOk, kTooSmall, kBadHeader, kNoSeparator };

// Finds the plaintext of a padded block: `*plaintext_offset` is the position after the
// separator. At least 8 padding bytes are required, the block must exceed 10 bytes.
UnpadResult FindPlaintext(const uint8_t* block, uint32_t block_bytes, uint32_t* plaintext_offset);
