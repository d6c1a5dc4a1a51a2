#include "login_hint.h"

#include "guarded_entry.h"
#include "log_redaction.h"
#include "logger.h"
#include "secure_storage.h"
#include "storage_keys.h"
#include "untrusted_json.h"

LoginHintOutcome LoginHintFromStoredUserInfo(const std::optional<std::string>& stored) {
  LoginHintOutcome outcome;
  if (!stored || stored->empty()) return outcome;
  return GuardEntry(
      [&] {
        outcome.hint = ParseUntrustedJson(*stored).value("dni", std::string());
        outcome.log_line = TokenLogLine{LogLevel::Info, "  Found existing DNI for login_hint: " +
                                                            MaskIdentityNumber(outcome.hint)};
        return outcome;
      },
      [&](const CaughtFailure& caught) {
        outcome.hint.clear();
        outcome.log_line = TokenLogLine{
            LogLevel::Warning, "  Could not parse user info for login_hint: " + caught.JsonText()};
        return outcome;
      });
}

std::string ReadLoginHint(UserType type) {
  const LoginHintOutcome outcome = LoginHintFromStoredUserInfo(
      SecureStorage::GetToken(LinkingStorageKeysFor(type).user_info));
  if (outcome.log_line) LogAt(outcome.log_line->level, outcome.log_line->text);
  return outcome.hint;
}
