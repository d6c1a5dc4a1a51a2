#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Credential Manager refuses a generic credential blob above 2,560 bytes. A longer value is
// kept as a full-size first entry under the key's own target name followed by continuation
// entries "<target>#1", "<target>#2", ...; a value that fits stays one ordinary entry. A reader
// looks for the next continuation only after a full-size part, so values written by earlier
// versions read unchanged.

constexpr size_t kMaxCredentialBlobSize = 2560;

using CredentialBytes = std::vector<uint8_t>;

// Target name of part `index` of the value stored under `key` (part 0 is the entry itself).
std::string CredentialTargetName(const std::string& key, size_t index);

// The parts to store for `data`: one part when it fits, otherwise full-size parts and a rest.
std::vector<CredentialBytes> SplitCredentialBlob(const CredentialBytes& data,
                                                 size_t max_part_size = kMaxCredentialBlobSize);

// Whether a part of this size may be followed by a continuation entry.
bool MayHaveContinuation(size_t part_size, size_t max_part_size = kMaxCredentialBlobSize);
