#pragma once

#include <optional>
#include <string>

#include "auth_vocabulary.h"
#include "user_type.h"

// The DNI a new sign-in proposes to the authorization server, taken from the user information
// an earlier linking stored for the same user type (both user types use its "dni").

struct LoginHintOutcome {
  std::string hint;  // empty when nothing usable is stored
  std::optional<TokenLogLine> log_line;
};

// From the stored "murako_user_info_<type>" value; absent or empty gives no hint and no line.
LoginHintOutcome LoginHintFromStoredUserInfo(const std::optional<std::string>& stored);

// Reads the value of the user type, writes the line, returns the hint.
std::string ReadLoginHint(UserType type);
