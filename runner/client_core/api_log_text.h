#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Texts the API client writes into the log.

// The token as logged: whole up to 20 characters, else its first 10 + "..." + its last 10.
std::string MaskToken(const std::string& token);

// The first 16 bytes (fewer if shorter) as "AB " pairs, followed by "...".
std::string SignaturePreviewHex(const std::vector<uint8_t>& signature);
