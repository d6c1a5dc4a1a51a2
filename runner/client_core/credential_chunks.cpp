#include "credential_chunks.h"

#include <algorithm>

namespace {

constexpr char kTargetPrefix[] = "Murako_Sendaro_";
// 0xFF never occurs in UTF-8 text, so no token, setting or JSON value starts like a frame.
constexpr uint8_t kFirstMagic[2][4] = {{0xFF, 'M', 'K', 'F'}, {0xFF, 'M', 'K', 'G'}};
constexpr uint8_t kContinuationMagic[4] = {0xFF, 'M', 'K', 'C'};
constexpr size_t kMagicSize = sizeof(kContinuationMagic);
// A plain value starting like this is framed, so no value is ever mistaken for a header.
constexpr size_t kReservedPrefixSize = 3;

void PutLittleEndian(CredentialBytes& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t GetLittleEndian(const CredentialBytes& in, size_t offset, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[offset + i]) << (8 * i);
  return value;
}

bool StartsWith(const CredentialBytes& part, const uint8_t (&magic)[4]) {
  return part.size() >= kCredentialFrameHeaderSize &&
         std::equal(magic, magic + kMagicSize, part.begin());
}

// Header: magic, then the total length (first part) or the index (continuation) in 4 bytes,
// then the generation in 8 bytes.
CredentialBytes Header(const uint8_t (&magic)[4], uint32_t length_or_index, uint64_t generation) {
  CredentialBytes header(magic, magic + kMagicSize);
  PutLittleEndian(header, length_or_index, 4);
  PutLittleEndian(header, generation, 8);
  return header;
}

bool LooksFramed(const CredentialBytes& data) {
  return data.size() >= kReservedPrefixSize &&
         std::equal(kContinuationMagic, kContinuationMagic + kReservedPrefixSize, data.begin());
}

}  // namespace

std::string CredentialTargetName(const std::string& key, size_t index, size_t slot) {
  std::string target = kTargetPrefix + key;
  if (index > 0) target += (slot == 0 ? "#" : "#b") + std::to_string(index);
  return target;
}

std::vector<CredentialBytes> SplitCredentialBlob(const CredentialBytes& data, uint64_t generation,
                                                 size_t slot, size_t max_part_size) {
  if (data.size() < max_part_size && !LooksFramed(data)) return {data};
  const size_t payload = max_part_size - kCredentialFrameHeaderSize;
  std::vector<CredentialBytes> parts;
  size_t offset = 0;
  do {
    const size_t length = std::min(payload, data.size() - offset);
    const size_t index = parts.size();
    CredentialBytes part =
        index == 0 ? Header(kFirstMagic[slot == 0 ? 0 : 1], static_cast<uint32_t>(data.size()),
                            generation)
                   : Header(kContinuationMagic, static_cast<uint32_t>(index), generation);
    part.insert(part.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    parts.push_back(std::move(part));
    offset += length;
  } while (offset < data.size());
  return parts;
}

std::optional<CredentialFrame> ReadCredentialFrame(const CredentialBytes& first_part,
                                                   size_t max_part_size) {
  CredentialFrame frame;
  if (StartsWith(first_part, kFirstMagic[1])) {
    frame.slot = 1;
  } else if (!StartsWith(first_part, kFirstMagic[0])) {
    return std::nullopt;
  }
  frame.total_length = static_cast<uint32_t>(GetLittleEndian(first_part, kMagicSize, 4));
  frame.generation = GetLittleEndian(first_part, kMagicSize + 4, 8);
  const size_t payload = max_part_size - kCredentialFrameHeaderSize;
  const size_t first_payload = first_part.size() - kCredentialFrameHeaderSize;
  if (frame.total_length > first_payload) {
    frame.continuation_count = (frame.total_length - first_payload + payload - 1) / payload;
  }
  return frame;
}

CredentialBytes FramedFirstPayload(const CredentialBytes& first_part) {
  return CredentialBytes(first_part.begin() + kCredentialFrameHeaderSize, first_part.end());
}

bool AppendFramedContinuation(const CredentialFrame& frame, size_t index,
                              const CredentialBytes& part, CredentialBytes& value) {
  if (!StartsWith(part, kContinuationMagic)) return false;
  if (GetLittleEndian(part, kMagicSize, 4) != index) return false;
  if (GetLittleEndian(part, kMagicSize + 4, 8) != frame.generation) return false;
  value.insert(value.end(), part.begin() + kCredentialFrameHeaderSize, part.end());
  return true;
}

bool MayHaveContinuation(size_t part_size, size_t max_part_size) {
  return part_size == max_part_size;
}

bool IsFramedContinuation(const CredentialBytes& part) {
  return StartsWith(part, kContinuationMagic);
}

CredentialWritePlan PlanCredentialWrite(const CredentialBytes& data, uint64_t generation,
                                        const std::optional<CredentialBytes>& current_first,
                                        size_t max_part_size) {
  std::optional<CredentialFrame> current;
  if (current_first) current = ReadCredentialFrame(*current_first, max_part_size);
  // A full plain first part is the unframed layout, whose continuations are in slot 0.
  const bool unframed_continued =
      current_first && !current && MayHaveContinuation(current_first->size(), max_part_size);
  CredentialWritePlan plan;
  plan.slot = (current && current->slot == 0) || unframed_continued ? 1 : 0;
  plan.parts = SplitCredentialBlob(data, generation, plan.slot, max_part_size);
  if (plan.parts.size() == 1) {
    // A plain value needs neither slot; a reader still busy with the previous value meets a
    // missing part and reads again. A short plain value had no continuations to remove.
    if (current) {
      plan.sweeps = {{0, 1}, {1, 1}};
    } else if (unframed_continued) {
      plan.sweeps = {{0, 1}};
    }
  } else {
    // The other slot holds the previous value until the next write, unless that value was
    // unframed: no reader of the new value looks at its continuations any more.
    plan.sweeps = {{plan.slot, plan.parts.size()}};
    if (unframed_continued) plan.sweeps.push_back({0, 1});
  }
  return plan;
}

uint32_t WriteCredentialValue(const std::string& key, const CredentialWritePlan& plan,
                              const CredentialEntries& entries) {
  for (size_t index = 1; index < plan.parts.size(); ++index) {
    const uint32_t error = entries.write(CredentialTargetName(key, index, plan.slot),
                                         plan.parts[index]);
    if (error != 0) return error;
  }
  const uint32_t error = entries.write(CredentialTargetName(key, 0), plan.parts[0]);
  if (error != 0) return error;
  for (const auto& sweep : plan.sweeps) {
    DeleteCredentialContinuations(key, sweep.first, sweep.second, entries);
  }
  return 0;
}

void DeleteCredentialContinuations(const std::string& key, size_t slot, size_t first_index,
                                   const CredentialEntries& entries) {
  for (size_t index = first_index;; ++index) {
    if (entries.remove(CredentialTargetName(key, index, slot)) != 0) return;
  }
}

namespace {

// The unframed layout has no length: its value is whole only if no write replaced its first
// part meanwhile, since every write that removes its continuations replaces that part first.
CredentialReadOutcome ReadPlainContinuations(const std::string& key,
                                             const CredentialEntries& entries,
                                             size_t max_part_size, CredentialBytes& value) {
  CredentialReadOutcome outcome;
  if (!MayHaveContinuation(value.size(), max_part_size)) return outcome;
  const CredentialBytes first = value;
  size_t last_part_size = value.size();
  for (size_t index = 1; MayHaveContinuation(last_part_size, max_part_size); ++index) {
    CredentialBytes part;
    outcome.error = entries.read(CredentialTargetName(key, index), part);
    if (outcome.error == kCredentialEntryNotFound) break;
    if (outcome.error != 0) return outcome;
    if (IsFramedContinuation(part)) {
      outcome.mismatch = "part " + std::to_string(index) + " belongs to another write";
      return outcome;
    }
    value.insert(value.end(), part.begin(), part.end());
    last_part_size = part.size();
  }
  outcome.error = 0;
  CredentialBytes first_again;
  if (entries.read(CredentialTargetName(key, 0), first_again) != 0 || first_again != first) {
    outcome.mismatch = "the first part changed while the value was read";
  }
  return outcome;
}

CredentialReadOutcome ReadFramedContinuations(const std::string& key,
                                              const CredentialEntries& entries,
                                              const CredentialFrame& frame,
                                              CredentialBytes& value) {
  CredentialReadOutcome outcome;
  for (size_t index = 1; index <= frame.continuation_count; ++index) {
    CredentialBytes part;
    outcome.error = entries.read(CredentialTargetName(key, index, frame.slot), part);
    if (outcome.error == kCredentialEntryNotFound) {
      outcome.error = 0;
      outcome.mismatch = "part " + std::to_string(index) + " is missing";
      return outcome;
    }
    if (outcome.error != 0) return outcome;
    if (!AppendFramedContinuation(frame, index, part, value)) {
      outcome.mismatch = "part " + std::to_string(index) + " belongs to another write";
      return outcome;
    }
  }
  if (value.size() != frame.total_length) {
    outcome.mismatch = std::to_string(value.size()) + " bytes instead of " +
                       std::to_string(frame.total_length);
  }
  return outcome;
}

CredentialReadOutcome ReadCredentialValueOnce(const std::string& key,
                                              const CredentialEntries& entries,
                                              size_t max_part_size, CredentialBytes& value) {
  CredentialReadOutcome outcome;
  CredentialBytes first;
  outcome.error = entries.read(CredentialTargetName(key, 0), first);
  if (outcome.error != 0) return outcome;
  const std::optional<CredentialFrame> frame = ReadCredentialFrame(first, max_part_size);
  if (!frame) {
    value.swap(first);
    return ReadPlainContinuations(key, entries, max_part_size, value);
  }
  value = FramedFirstPayload(first);
  return ReadFramedContinuations(key, entries, *frame, value);
}

}  // namespace

CredentialReadOutcome ReadCredentialValue(const std::string& key, const CredentialEntries& entries,
                                          int attempts, CredentialBytes& value,
                                          size_t max_part_size) {
  CredentialReadOutcome outcome;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    value.clear();
    outcome = ReadCredentialValueOnce(key, entries, max_part_size, value);
    if (outcome.mismatch.empty()) break;
  }
  return outcome;
}
