#pragma once

#include <string>
#include <utility>

#include "caught_failure.h"

// Failures are values plus one log line. Exceptions (an allocation failure, a JSON document of
// the wrong shape, a fault in a system call wrapper) travel up to the entry point that owns the
// call: a channel handler, an export, a window procedure, a timer or browser callback, or a
// public operation whose failure line is fixed. That entry point runs its body through
// GuardEntry, which holds the one catch; code beneath it does not catch.

// Runs `body`; an exception that escapes it becomes `on_failure(const CaughtFailure&)`, which
// writes the failure line and gives the failure value. It runs inside the handler: what it
// throws travels on.
template <typename Body, typename OnFailure>
auto GuardEntry(Body&& body, OnFailure&& on_failure) -> decltype(body()) {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& error) {
    return on_failure(CaughtFailure(&error));
  } catch (...) {
    return on_failure(CaughtFailure(nullptr));
  }
}

// Writes `failure_line` + the caught text as one Error line; never throws.
void LogEntryFailure(const std::string& failure_line, const CaughtFailure& caught) noexcept;

// The common case: `failure` plus the Error line `failure_line` + what() ("unknown exception"
// for anything that is not a standard exception).
template <typename Failure, typename Body>
auto GuardEntry(const std::string& failure_line, Failure failure, Body&& body)
    -> decltype(body()) {
  return GuardEntry(std::forward<Body>(body), [&](const CaughtFailure& caught) {
    LogEntryFailure(failure_line, caught);
    return std::move(failure);
  });
}
