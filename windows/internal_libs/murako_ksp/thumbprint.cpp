#include "thumbprint.h"

namespace {

int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

}  // namespace

bool ParseThumbprint(const wchar_t* name, Thumbprint* bytes) {
  if (name == nullptr) {
    return false;
  }
  Thumbprint parsed{};
  for (size_t i = 0; i < 40; ++i) {
    int value = HexDigitValue(name[i]);  // stops at the terminator of a shorter name
    if (value < 0) {
      return false;
    }
    if (i % 2 == 0) {
      parsed[i / 2] = static_cast<uint8_t>(value << 4);
    } else {
      parsed[i / 2] = static_cast<uint8_t>(parsed[i / 2] | value);
    }
  }
  if (name[40] != L'\0') {
    return false;
  }
  if (bytes != nullptr) {
    *bytes = parsed;
  }
  return true;
}

std::wstring FormatThumbprint(const uint8_t* bytes) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(40);
  for (size_t i = 0; i < 20; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}
