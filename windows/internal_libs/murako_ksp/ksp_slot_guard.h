#pragma once

#include "ksp_log.h"
#include "ksp_status.h"
#include "system_library.h"

// Runs the body of a table slot so that no C++ exception reaches CNG or the host program:
// anything thrown, a system library that cannot be loaded included, becomes NTE_INTERNAL_ERROR
// with a log line. The slot's log lines are written together when it returns.
template <typename Body>
SECURITY_STATUS GuardSlot(const char* function_name, Body&& body) noexcept {
  KspLogBatch lines_of_this_call;
  try {
    return body();
  } catch (const SystemLibraryUnavailable&) {
    KspLog("<<< %s: NTE_INTERNAL_ERROR (system library unavailable)", function_name);
    return NTE_INTERNAL_ERROR;
  } catch (...) {
    KspLog("<<< %s: NTE_INTERNAL_ERROR (unexpected exception)", function_name);
    return NTE_INTERNAL_ERROR;
  }
}
