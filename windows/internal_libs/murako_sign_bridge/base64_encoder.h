#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Standard Base64 alphabet with "=" padding.
std::string Base64Encode(const std::vector<uint8_t>& bytes);
