#include "guarded_entry.h"

#include "logger.h"

void LogEntryFailure(const std::string& failure_line, const CaughtFailure& caught) noexcept {
  // Without memory left to compose the line, the failure value still reaches the caller.
  GuardEntry([&] { LogError(failure_line + caught.Text()); }, [](const CaughtFailure&) {});
}
