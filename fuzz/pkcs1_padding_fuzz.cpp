// PKCS #1 v1.5 encryption padding: a padded block gives back its input; the plaintext found in
// any block a caller hands over lies inside that block.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "pkcs1_padding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint32_t block_bytes = input.ConsumeIntegralInRange<uint32_t>(0, 1024);
  const std::vector<uint8_t> plaintext = input.ConsumeBytes<uint8_t>(
      input.ConsumeIntegralInRange<size_t>(0, block_bytes));
  const long padding =
      EncryptionPaddingLength(block_bytes, static_cast<uint32_t>(plaintext.size()));
  FUZZ_CHECK((padding >= 8) == (plaintext.size() + 11 <= block_bytes));
  if (padding >= 8) {
    std::vector<uint8_t> block(block_bytes);
    WriteEncryptionBlock(plaintext.data(), static_cast<uint32_t>(plaintext.size()),
                         static_cast<uint32_t>(padding), block.data());
    uint32_t offset = 0;
    FUZZ_CHECK(FindPlaintext(block.data(), block_bytes, &offset) == UnpadResult::kOk);
    FUZZ_CHECK(std::vector<uint8_t>(block.begin() + offset, block.end()) == plaintext);
  }
  const std::vector<uint8_t> any = input.ConsumeRemainingBytes<uint8_t>();
  uint32_t offset = 0;
  if (FindPlaintext(any.data(), static_cast<uint32_t>(any.size()), &offset) == UnpadResult::kOk) {
    FUZZ_CHECK(offset >= 11 && offset <= any.size());
  }
  return 0;
}
