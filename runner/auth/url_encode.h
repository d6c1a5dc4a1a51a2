#pragma once

#include <string>

// Percent-encoding for URL query values and form bodies: ASCII letters, digits and "-._~"
// stay; every other byte, each byte of a multi-byte UTF-8 character included, becomes "%"
// and two lower-case hexadecimal digits. A space is "%20", never "+".
std::string UrlEncode(const std::string& text);
