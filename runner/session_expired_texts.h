#pragma once

#include <optional>
#include <string>

// The session-expired balloon's texts in the interface language the user chose.
struct SessionExpiredTexts {
  std::string language;      // "eu" or "es"
  std::string title;         // Windows-1252, as the shell's ANSI record takes it
  std::string message;       // Windows-1252
  std::string message_utf8;  // the message for the log
};

// Basque exactly when the stored "app_locale" is "eu"; Spanish for anything else or nothing.
SessionExpiredTexts SessionExpiredTextsFor(const std::optional<std::string>& stored_locale);
