#include "credential_chunks.h"

#include <algorithm>

namespace {
constexpr char kTargetPrefix[] = "Murako_Sendaro_";
}

std::string CredentialTargetName(const std::string& key, size_t index) {
  std::string target = kTargetPrefix + key;
  if (index > 0) target += "#" + std::to_string(index);
  return target;
}

std::vector<CredentialBytes> SplitCredentialBlob(const CredentialBytes& data,
                                                 size_t max_part_size) {
  std::vector<CredentialBytes> parts;
  size_t offset = 0;
  do {
    size_t length = std::min(max_part_size, data.size() - offset);
    parts.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(offset),
                       data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    offset += length;
  } while (offset < data.size());
  return parts;
}

bool MayHaveContinuation(size_t part_size, size_t max_part_size) {
  return part_size == max_part_size;
}
