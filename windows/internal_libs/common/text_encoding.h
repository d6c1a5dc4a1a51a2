#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The product's one Base64 codec and one hex formatter, free of system calls.

// Standard alphabet with "=" padding.
std::string EncodeBase64(const std::vector<uint8_t>& bytes);

// Strict: absent unless the text is whole four-character groups of the standard alphabet, with
// "=" only as the padding of the last group.
std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& text);

// Two upper-case hex digits per byte, each followed by `separator`.
std::string ToUpperHex(const std::vector<uint8_t>& bytes, const char* separator = "");

// Two lower-case hex digits per byte, no separators.
std::string ToLowerHex(const std::vector<uint8_t>& bytes);

// The first `count` bytes (or all, if fewer) as upper-case hex, a space after each, then "...".
std::string UpperHexPreview(const std::vector<uint8_t>& bytes, size_t count);

// The bytes of a text of hex digit pairs (either case); absent when the text is empty, has an
// odd length or holds anything but hex digits.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text);
