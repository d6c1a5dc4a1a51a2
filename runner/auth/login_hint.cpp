#include "login_hint.h"

#include <exception>

#include <nlohmann/json.hpp>

#include "linking_storage_keys.h"
#include "logger.h"
#include "secure_storage.h"

LoginHintOutcome LoginHintFromStoredUserInfo(const std::optional<std::string>& stored) {
  LoginHintOutcome outcome;
  if (!stored || stored->empty()) return outcome;
  try {
    outcome.hint = nlohmann::json::parse(*stored).value("dni", std::string());
    outcome.log_line = TokenLogLine{LogLevel::Info,
                                    "  Found existing DNI for login_hint: " + outcome.hint};
  } catch (const std::exception& error) {
    outcome.hint.clear();
    outcome.log_line = TokenLogLine{
        LogLevel::Warning, std::string("  Could not parse user info for login_hint: ") + error.what()};
  }
  return outcome;
}

std::string ReadLoginHint(const std::string& user_type_word) {
  const LoginHintOutcome outcome = LoginHintFromStoredUserInfo(
      SecureStorage::GetToken(LinkingStorageKeysFor(user_type_word).user_info));
  if (outcome.log_line) LogAt(outcome.log_line->level, outcome.log_line->text);
  return outcome.hint;
}
