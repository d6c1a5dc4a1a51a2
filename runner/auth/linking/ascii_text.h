#pragma once

#include <string>

// Text helpers of the identity rules: labels and CIFs are compared in ASCII case only.

// ASCII case mapping; other bytes, UTF-8 sequences included, stay as they are.
std::string ToLowerAscii(std::string text);
std::string ToUpperAscii(std::string text);
// Removes blanks and tabs at both ends.
std::string TrimBlanksAndTabs(const std::string& text);
