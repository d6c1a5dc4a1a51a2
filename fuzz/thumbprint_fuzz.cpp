// Key names a calling program hands the provider: exactly 40 hexadecimal digits name a
// thumbprint, which formats back as the same digits in upper case.
#include <cctype>
#include <string>

#include "fuzz_check.h"
#include "thumbprint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring name;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == L'\0') break;
    name += unit;
  }
  Thumbprint bytes{};
  const bool parsed = ParseThumbprint(name.c_str(), &bytes);
  bool hex = name.size() == 40;
  for (wchar_t unit : name) hex = hex && unit < 128 && std::isxdigit(static_cast<int>(unit));
  FUZZ_CHECK(parsed == hex);
  FUZZ_CHECK(ParseThumbprint(name.c_str(), nullptr) == parsed);
  if (!parsed) return 0;
  std::wstring upper = name;
  for (wchar_t& unit : upper) unit = static_cast<wchar_t>(std::toupper(static_cast<int>(unit)));
  FUZZ_CHECK(FormatThumbprint(bytes.data()) == upper);
  return 0;
}
