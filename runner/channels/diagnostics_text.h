#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pure pieces of the provider diagnostics.

// The last `count` lines of `text`, each followed by a line feed. Lines end at each line feed
// (a carriage return stays with its line); a final piece without one counts when not empty.
std::string LastLines(const std::string& text, int count);

// A status code as "0x" and eight upper-case hexadecimal digits.
std::string StatusHex(long status);

// The self-test's 32-byte hash: byte i is 7 * i.
std::vector<uint8_t> DummyHash();

// "%04d-%02d-%02d %02d:%02d:%02d".
std::string FileTimestampText(int year, int month, int day, int hour, int minute, int second);
