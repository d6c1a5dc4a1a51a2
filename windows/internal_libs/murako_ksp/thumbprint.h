#pragma once

#include <array>
#include <cstdint>
#include <string>

// A certificate thumbprint: the SHA-1 hash of its encoding, written as 40 hexadecimal digits.
using Thumbprint = std::array<uint8_t, 20>;

// True with the 20 bytes when `name` is exactly 40 characters of 0-9, A-F or a-f.
bool ParseThumbprint(const wchar_t* name, Thumbprint* bytes);

// 40 upper-case hexadecimal digits.
std::wstring FormatThumbprint(const uint8_t* bytes);
