// What the bridge accepts to sign: only a raw SHA-2 hash or a DigestInfo around one, whose
// hash it takes out unchanged; everything else is refused with a reason.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

#include "fuzz_check.h"
#include "hash_classification.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint32_t padding_flags = input.ConsumeIntegral<uint32_t>();
  const bool absent = input.ConsumeBool();
  const std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();
  const uint32_t length = static_cast<uint32_t>(absent ? bytes.size() % 100 : bytes.size());
  const HashClassification result = ClassifyHash(absent ? nullptr : bytes.data(), length);
  FUZZ_CHECK(result.accepted == result.error_text.empty());
  FUZZ_CHECK(result.accepted != result.log_line.empty());
  if (result.accepted) {
    const size_t hash_size = result.raw_hash.size();
    FUZZ_CHECK(!absent && (hash_size == 32 || hash_size == 48 || hash_size == 64));
    FUZZ_CHECK(std::equal(result.raw_hash.begin(), result.raw_hash.end(),
                          bytes.end() - static_cast<std::ptrdiff_t>(hash_size)));
    FUZZ_CHECK(length == hash_size || length == hash_size + 19);
    FUZZ_CHECK(!SignatureAlgorithmName(hash_size, padding_flags).empty());
  } else {
    FUZZ_CHECK(result.raw_hash.empty());
  }
  const std::string described = DescribePaddingFlags(padding_flags);
  FUZZ_CHECK(described.rfind("0x", 0) == 0);
  FUZZ_CHECK(std::stoul(described.substr(2), nullptr, 16) == padding_flags);
  return 0;
}
