// Credential framing: any value splits into parts that stay within the part size and read
// back whole; parts read from storage, whatever they hold, are taken only when they belong to
// the frame the first part announces, and a value is complete only at the announced length.
// Written over any layout (unframed, framed in either slot, plain) and read at any moment of the
// write (where a write cut off stops), while the write goes on between the reader's entry reads,
// or after a sweep of the old parts failed, a value reads as the one before or the one after
// the write, never a mix, and a read of a write cut off never refuses.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

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

using Entries = std::map<std::string, CredentialBytes>;

// The unframed layout of earlier versions: full-size plain parts and a shorter last one.
Entries UnframedLayout(const CredentialBytes& value, size_t max_part_size) {
  Entries entries;
  for (size_t offset = 0, index = 0; offset < value.size() || index == 0; ++index) {
    const size_t length = std::min(max_part_size, value.size() - offset);
    entries[CredentialTargetName("k", index)] =
        CredentialBytes(value.begin() + static_cast<std::ptrdiff_t>(offset),
                        value.begin() + static_cast<std::ptrdiff_t>(offset + length));
    offset += length;
  }
  return entries;
}

CredentialEntries Calls(Entries& stored, const std::function<void()>& before_read,
                        size_t& failing_removes, std::vector<Entries>* states) {
  return {[&stored, before_read](const std::string& target, CredentialBytes& blob) -> uint32_t {
            before_read();
            const auto found = stored.find(target);
            if (found == stored.end()) return kCredentialEntryNotFound;
            blob = found->second;
            return 0;
          },
          [&stored, states](const std::string& target, const CredentialBytes& blob) -> uint32_t {
            stored[target] = blob;
            if (states) states->push_back(stored);
            return 0;
          },
          [&stored, &failing_removes, states](const std::string& target) -> uint32_t {
            if (!stored.count(target)) return kCredentialEntryNotFound;
            if (failing_removes > 0) {
              --failing_removes;
              return 5;  // access denied
            }
            stored.erase(target);
            if (states) states->push_back(stored);
            return 0;
          }};
}

void CheckReadsDuringAWrite(FuzzedDataProvider& input, size_t max_part_size) {
  const int layout = input.ConsumeIntegralInRange<int>(0, 2);
  CredentialBytes before =
      input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(1, 4 * max_part_size));
  // Earlier versions stored text, which never holds the frames' 0xFF.
  if (layout == 0) std::replace(before.begin(), before.end(), uint8_t{0xFF}, uint8_t{'x'});
  const CredentialBytes after =
      input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(1, 4 * max_part_size));
  if (before.empty() || after.empty()) return;
  size_t failing_removes = input.ConsumeIntegralInRange<size_t>(0, 2);
  const size_t moment_choice = input.ConsumeIntegral<size_t>();
  const size_t steps = input.ConsumeIntegralInRange<size_t>(0, 3);

  Entries stored;
  size_t no_failures = 0;
  const auto quiet = [] {};
  if (layout == 0) {
    stored = UnframedLayout(before, max_part_size);
  } else {
    const auto plan = PlanCredentialWrite(before, 1, std::nullopt, max_part_size);
    CredentialWritePlan placed = plan;
    if (layout == 2 && plan.parts.size() > 1) {  // the second slot, as after an earlier write
      placed = PlanCredentialWrite(before, 1, SplitCredentialBlob(before, 0, 0, max_part_size)[0],
                                   max_part_size);
    }
    FUZZ_CHECK(WriteCredentialValue("k", placed,
                                    Calls(stored, quiet, no_failures, nullptr)) == 0);
  }
  const auto read_value = [&](Entries& entries, const std::function<void()>& before_read) {
    CredentialBytes value;
    const CredentialReadOutcome outcome =
        ReadCredentialValue("k", Calls(entries, before_read, no_failures, nullptr), 5, value,
                            max_part_size);
    FUZZ_CHECK(outcome.error == 0);
    return outcome.mismatch.empty() ? std::optional<CredentialBytes>(value) : std::nullopt;
  };
  FUZZ_CHECK(read_value(stored, quiet) == before);

  std::vector<Entries> states{stored};
  Entries writing = stored;
  const std::optional<CredentialBytes> first = stored[CredentialTargetName("k", 0)];
  FUZZ_CHECK(WriteCredentialValue("k", PlanCredentialWrite(after, 2, first, max_part_size),
                                  Calls(writing, quiet, failing_removes, &states)) == 0);
  FUZZ_CHECK(read_value(writing, quiet) == after);

  // A write cut off at one moment leaves one value or the other whole; a reader that starts
  // there while the write moves on `steps` entries per read may refuse, but never mixes them.
  size_t moment = moment_choice % states.size();
  Entries cut_off = states[moment];
  const std::optional<CredentialBytes> left = read_value(cut_off, quiet);
  FUZZ_CHECK(left == before || left == after);
  Entries reading = states[moment];
  bool first_read = true;
  const std::optional<CredentialBytes> raced = read_value(reading, [&] {
    if (!first_read) {
      moment = std::min(moment + steps, states.size() - 1);
      reading = states[moment];
    }
    first_read = false;
  });
  FUZZ_CHECK(!raced || *raced == before || *raced == after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // The real part size, or a small one so that short inputs span several parts.
  const size_t max_part_size = input.ConsumeBool()
                                   ? kMaxCredentialBlobSize
                                   : input.ConsumeIntegralInRange<size_t>(
                                         kCredentialFrameHeaderSize + 8, 80);
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      CheckHostileParts(input, max_part_size);
      return 0;
    case 1:
      CheckReadsDuringAWrite(input, max_part_size);
      return 0;
    default:
      break;
  }
  const uint64_t generation = input.ConsumeIntegral<uint64_t>();
  const size_t slot = input.ConsumeBool() ? 1 : 0;
  CheckRoundTrip(input.ConsumeRemainingBytes<uint8_t>(), generation, slot, max_part_size);
  return 0;
}
