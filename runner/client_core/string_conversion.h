#pragma once

#include <string>

// UTF-8 <-> UTF-16 at Windows interfaces. Invalid input yields an empty string.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
