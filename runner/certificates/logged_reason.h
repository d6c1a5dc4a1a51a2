#pragma once

#include <string>

#include "logger.h"
#include "value_or_reason.h"

// Logs a failure and returns it as the reason.
inline Reason LoggedReason(const std::string& text) {
  LogError(text);
  return Reason{text};
}
