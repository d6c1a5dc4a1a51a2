#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Credential Manager refuses a generic credential blob above 2,560 bytes. A value shorter than
// that which does not begin like a frame stays one ordinary entry under the key's own target
// name; a plain entry of the full size is therefore always the first part of an unframed value
// of an earlier layout, never a whole value written now.
// A longer value is framed: the first entry starts with a header holding the value's total
// length, a generation tag drawn for that write and the slot its continuations are in; each
// continuation entry starts with the same tag and its own index. Continuations live in one of
// two slots, "<target>#1", "<target>#2", ... or "<target>#b1", "<target>#b2", ..., and a write
// fills the slot the current value does not use (the second one over an unframed value, whose
// continuations are those of the first) before it replaces the first entry, so the first entry
// is the one step that publishes a value, a reader that read the previous first entry still
// finds that value's continuations, and a write cut off at any step leaves the previous value
// or the new one whole. A reader takes a continuation only when it matches, and the whole
// value only when it has the announced length, so the parts of two different writes never
// combine and a missing part is never read as a shorter value.
// Values written in the earlier layouts still read: framed values with their continuations in
// the first slot, and plain values of full-size parts "<target>#1", ... before framing (a
// reader looks for their next part only after a full-size one, and takes such a value only
// when its first part is still the same after its last part was read).

constexpr size_t kMaxCredentialBlobSize = 2560;
constexpr size_t kCredentialFrameHeaderSize = 16;

using CredentialBytes = std::vector<uint8_t>;

// Target name of part `index` of the value stored under `key` (part 0 is the entry itself);
// continuations are in slot 0 or 1.
std::string CredentialTargetName(const std::string& key, size_t index, size_t slot = 0);

// The parts to store for `data`: one plain part when it is shorter than a full part and cannot
// be mistaken for a frame, otherwise framed parts under `generation` whose continuations go to `slot`.
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

// Calls on single entries, each answering 0 on success, kCredentialEntryNotFound for an absent
// entry or another system error code.
constexpr uint32_t kCredentialEntryNotFound = 1168;
struct CredentialEntries {
  std::function<uint32_t(const std::string& target, CredentialBytes& blob)> read;
  std::function<uint32_t(const std::string& target, const CredentialBytes& blob)> write;
  std::function<uint32_t(const std::string& target)> remove;
};

// Carries out `plan` for `key`: the continuations in the slot no reader of the current value
// looks at, then the first part, which publishes the new value in one step, then the sweeps.
// A failed sweep leaves only entries that no reader of the new value takes.
uint32_t WriteCredentialValue(const std::string& key, const CredentialWritePlan& plan,
                              const CredentialEntries& entries);

// Removes continuation entries of `slot` from part `first_index` on, up to the first absent one.
void DeleteCredentialContinuations(const std::string& key, size_t slot, size_t first_index,
                                   const CredentialEntries& entries);

// Reads the value stored under `key`, reading again up to `attempts` times while the parts read
// do not make one value (a write was under way). `mismatch` says why the last attempt failed.
struct CredentialReadOutcome {
  uint32_t error = 0;
  std::string mismatch;
};
CredentialReadOutcome ReadCredentialValue(const std::string& key, const CredentialEntries& entries,
                                          int attempts, CredentialBytes& value,
                                          size_t max_part_size = kMaxCredentialBlobSize);
