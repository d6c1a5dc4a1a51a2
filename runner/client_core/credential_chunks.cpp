#include "credential_chunks.h"

#include <algorithm>

namespace {

constexpr char kTargetPrefix[] = "Murako_Sendaro_";
// 0xFF never occurs in UTF-8 text, so no token, setting or JSON value starts like a frame.
constexpr uint8_t kFirstMagic[4] = {0xFF, 'M', 'K', 'F'};
constexpr uint8_t kContinuationMagic[4] = {0xFF, 'M', 'K', 'C'};
constexpr size_t kMagicSize = sizeof(kFirstMagic);

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
  return data.size() >= kMagicSize && std::equal(kFirstMagic, kFirstMagic + kMagicSize, data.begin());
}

}  // namespace

std::string CredentialTargetName(const std::string& key, size_t index) {
  std::string target = kTargetPrefix + key;
  if (index > 0) target += "#" + std::to_string(index);
  return target;
}

std::vector<CredentialBytes> SplitCredentialBlob(const CredentialBytes& data, uint64_t generation,
                                                 size_t max_part_size) {
  if (data.size() <= max_part_size && !LooksFramed(data)) return {data};
  const size_t payload = max_part_size - kCredentialFrameHeaderSize;
  std::vector<CredentialBytes> parts;
  size_t offset = 0;
  do {
    const size_t length = std::min(payload, data.size() - offset);
    const size_t index = parts.size();
    CredentialBytes part =
        index == 0 ? Header(kFirstMagic, static_cast<uint32_t>(data.size()), generation)
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
  if (!StartsWith(first_part, kFirstMagic)) return std::nullopt;
  CredentialFrame frame;
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
