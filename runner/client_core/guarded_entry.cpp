#include "guarded_entry.h"

#include "logger.h"
#include "untrusted_json.h"

std::string CaughtFailure::Text(const char* unknown) const {
  return error_ != nullptr ? std::string(error_->what()) : std::string(unknown);
}

std::string CaughtFailure::JsonText(const char* unknown) const {
  return error_ != nullptr ? JsonErrorText(*error_) : std::string(unknown);
}

void LogEntryFailure(const std::string& failure_line, const CaughtFailure& caught) noexcept {
  // Without memory left to compose the line, the failure value still reaches the caller.
  GuardEntry([&] { LogError(failure_line + caught.Text()); }, [](const CaughtFailure&) {});
}
