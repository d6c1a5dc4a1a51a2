#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Credential Manager refuses a generic credential blob above 2,560 bytes. A value that fits
// and does not begin like a frame stays one ordinary entry under the key's own target name.
// A longer value is framed: the first entry starts with a header holding the value's total
// length, a generation tag drawn for that write and the slot its continuations are in; each
// continuation entry starts with the same tag and its own index. Continuations live in one of
// two slots, "<target>#1", "<target>#2", ... or "<target>#b1", "<target>#b2", ..., and a write
// fills the slot the current value does not use before it replaces the first entry, so the
// first entry is the one step that publishes a value, and a reader that read the previous
// first entry still finds that value's continuations. A reader takes a continuation only when
// it matches, and the whole value only when it has the announced length, so the parts of two
// different writes never combine and a missing part is never read as a shorter value.
// Values written in the earlier layouts still read: framed values with their continuations in
// the first slot, and plain values of full-size parts "<target>#1", ... before framing (a
// reader looks for their next part only after a full-size one).

constexpr size_t kMaxCredentialBlobSize = 2560;
constexpr size_t kCredentialFrameHeaderSize = 16;

using CredentialBytes = std::vector<uint8_t>;

// Target name of part `index` of the value stored under `key` (part 0 is the entry itself);
// continuations are in slot 0 or 1.
std::string CredentialTargetName(const std::string& key, size_t index, size_t slot = 0);

// The parts to store for `data`: one plain part when it fits and cannot be mistaken for a
// frame, otherwise framed parts under `generation` whose continuations go to `slot`.
std::vector<CredentialBytes> SplitCredentialBlob(const CredentialBytes& data, uint64_t generation,
                                                 size_t slot = 0,
                                                 size_t max_part_size = kMaxCredentialBlobSize);

struct CredentialFrame {
  uint32_t total_length = 0;
  uint64_t generation = 0;
  size_t slot = 0;
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

// Whether an entry read as a plain continuation is in fact a framed write's continuation.
bool IsFramedContinuation(const CredentialBytes& part);

// How to replace the value whose first part is `current_first` (nothing when absent) by
// `data`: write parts[1...] as continuations in `slot`, then parts[0] as the first entry, then
// remove each (slot, first index) continuation run of `sweeps`.
struct CredentialWritePlan {
  std::vector<CredentialBytes> parts;
  size_t slot = 0;
  std::vector<std::pair<size_t, size_t>> sweeps;
};
CredentialWritePlan PlanCredentialWrite(const CredentialBytes& data, uint64_t generation,
                                        const std::optional<CredentialBytes>& current_first,
                                        size_t max_part_size = kMaxCredentialBlobSize);
