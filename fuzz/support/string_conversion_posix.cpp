// The text conversions of string_conversion.h for a native build. Each byte becomes the code
// unit of the same value (Latin-1), so a harness can predict the wide text exactly; the UTF-8
// decoding itself is the system's and is not under test.
#include "string_conversion.h"

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c);
  return narrow;
}
