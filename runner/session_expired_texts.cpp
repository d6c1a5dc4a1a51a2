#include "session_expired_texts.h"

SessionExpiredTexts SessionExpiredTextsFor(const std::optional<std::string>& stored_locale) {
  if (stored_locale && *stored_locale == "eu") {
    return {"eu", "Sendaroa", "Saioa iraungita", "Saioa iraungita"};
  }
  // 0xF3 is "ó" in Windows-1252.
  return {"es", "Sendaro", "Sesi\xF3n caducada", "Sesi\xC3\xB3n caducada"};
}
