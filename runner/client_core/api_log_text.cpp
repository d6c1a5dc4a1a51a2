#include "api_log_text.h"

#include <algorithm>

std::string MaskToken(const std::string& token) {
  if (token.size() <= 20) return token;
  return token.substr(0, 10) + "..." + token.substr(token.size() - 10);
}

std::string SignaturePreviewHex(const std::vector<uint8_t>& signature) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  const size_t count = std::min<size_t>(signature.size(), 16);
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[signature[i] >> 4];
    text += kDigits[signature[i] & 0x0F];
    text += ' ';
  }
  return text + "...";
}
