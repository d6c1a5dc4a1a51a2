#include "api_log_text.h"

std::string MaskToken(const std::string& token) {
  if (token.size() <= 20) return token;
  return token.substr(0, 10) + "..." + token.substr(token.size() - 10);
}
