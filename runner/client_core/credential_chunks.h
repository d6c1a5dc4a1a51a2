#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Credential Manager refuses a generic credential blob above 2,560 bytes. A value that fits
// and does not begin like a frame stays one ordinary entry under the key's own target name.
// A longer value is framed: the first entry starts with a header holding the value's total
// length and a generation tag drawn for that write, and each continuation entry "<target>#1",
// "<target>#2", ... starts with the same tag and its own index. A reader takes a continuation
// only when it matches, and the whole value only when it has the announced length, so the
// parts of two different writes never combine and a missing part is never read as a shorter
// value. Values written before framing (a full-size plain first part followed by plain
// continuations) still read: a reader looks for their next part only after a full-size one.

constexpr size_t kMaxCredentialBlobSize = 2560;
constexpr size_t kCredentialFrameHeaderSize = 16;

using CredentialBytes = std::vector<uint8_t>;

// Target name of part `index` of the value stored under `key` (part 0 is the entry itself).
std::string CredentialTargetName(const std::string& key, size_t index);

// The parts to store for `data`: one plain part when it fits and cannot be mistaken for a
// frame, otherwise framed parts under `generation`.
std::vector<CredentialBytes> SplitCredentialBlob(const CredentialBytes& data, uint64_t generation,
                                                 size_t max_part_size = kMaxCredentialBlobSize);

struct CredentialFrame {
  uint32_t total_length = 0;
  uint64_t generation = 0;
  size_t continuation_count = 0;
};

// The frame a first part announces, or nothing for a plain (unframed) first part.
std::optional<CredentialFrame> ReadCredentialFrame(const CredentialBytes& first_part,
                                                   size_t max_part_size = kMaxCredentialBlobSize);

// Starts a framed value with the first part's payload.
CredentialBytes FramedFirstPayload(const CredentialBytes& first_part);

// Appends continuation `index` of `frame` to `value`; false, leaving `value` as it was, when
// the part belongs to another write or position.
bool AppendFramedContinuation(const CredentialFrame& frame, size_t index,
                              const CredentialBytes& part, CredentialBytes& value);

// Whether a plain part of this size may be followed by a plain continuation entry.
bool MayHaveContinuation(size_t part_size, size_t max_part_size = kMaxCredentialBlobSize);
