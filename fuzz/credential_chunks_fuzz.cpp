// Credential framing: any value splits into parts that stay within the part size and read
// back whole; parts read from storage, whatever they hold, are taken only when they belong to
// the frame the first part announces, and a value is complete only at the announced length.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>

#include "credential_chunks.h"
#include "fuzz_check.h"

namespace {

void CheckRoundTrip(const CredentialBytes& data, uint64_t generation, size_t slot,
                    size_t max_part_size) {
  const std::vector<CredentialBytes> parts =
      SplitCredentialBlob(data, generation, slot, max_part_size);
  FUZZ_CHECK(!parts.empty());
  for (const CredentialBytes& part : parts) FUZZ_CHECK(part.size() <= max_part_size);
  const std::optional<CredentialFrame> frame = ReadCredentialFrame(parts[0], max_part_size);
  if (!frame) {
    FUZZ_CHECK(parts.size() == 1 && parts[0] == data);
    return;
  }
  FUZZ_CHECK(frame->total_length == data.size());
  FUZZ_CHECK(frame->generation == generation);
  FUZZ_CHECK(frame->slot == slot);
  FUZZ_CHECK(frame->continuation_count + 1 == parts.size());
  CredentialBytes value = FramedFirstPayload(parts[0]);
  for (size_t index = 1; index < parts.size(); ++index) {
    // Another write's part, or this write's part at another position, is refused untouched
    // (appending is the only change a part can make).
    CredentialFrame other = *frame;
    other.generation = generation + 1;
    const size_t size_before = value.size();
    FUZZ_CHECK(!AppendFramedContinuation(other, index, parts[index], value));
    FUZZ_CHECK(!AppendFramedContinuation(*frame, index + 1, parts[index], value));
    FUZZ_CHECK(value.size() == size_before);
    FUZZ_CHECK(AppendFramedContinuation(*frame, index, parts[index], value));
  }
  FUZZ_CHECK(value == data);
}

// The reading order of credential storage over parts the input supplies.
void CheckHostileParts(FuzzedDataProvider& input, size_t max_part_size) {
  std::map<size_t, CredentialBytes> stored;
  for (size_t index = 0; index < 6 && input.remaining_bytes() > 0; ++index) {
    stored[index] = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 3000));
  }
  if (stored.empty()) return;
  const std::optional<CredentialFrame> frame = ReadCredentialFrame(stored[0], max_part_size);
  if (!frame) return;
  CredentialBytes value = FramedFirstPayload(stored[0]);
  FUZZ_CHECK(value.size() + kCredentialFrameHeaderSize == stored[0].size());
  size_t taken = value.size();
  for (size_t index = 1; index <= frame->continuation_count; ++index) {
    const auto part = stored.find(index);
    if (part == stored.end()) return;
    const size_t size_before = value.size();
    if (!AppendFramedContinuation(*frame, index, part->second, value)) {
      FUZZ_CHECK(value.size() == size_before);
      return;
    }
    FUZZ_CHECK(value.size() + kCredentialFrameHeaderSize == size_before + part->second.size());
    taken += part->second.size() - kCredentialFrameHeaderSize;
  }
  FUZZ_CHECK(value.size() == taken);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // The real part size, or a small one so that short inputs span several parts.
  const size_t max_part_size = input.ConsumeBool()
                                   ? kMaxCredentialBlobSize
                                   : input.ConsumeIntegralInRange<size_t>(
                                         kCredentialFrameHeaderSize + 8, 80);
  if (input.ConsumeBool()) {
    CheckHostileParts(input, max_part_size);
    return 0;
  }
  const uint64_t generation = input.ConsumeIntegral<uint64_t>();
  const size_t slot = input.ConsumeBool() ? 1 : 0;
  CheckRoundTrip(input.ConsumeRemainingBytes<uint8_t>(), generation, slot, max_part_size);
  return 0;
}
