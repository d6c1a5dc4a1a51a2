#pragma once

#include "ksp_log.h"
#include "ksp_status.h"
#include "system_library.h"

// What the core of a table slot answers: its status and what its exit line says. The usual
// exit line is the function's name and the status name, with a detail in parentheses where
// there is one: <<< MurakoOpenKey: NTE_BAD_KEYSET (key not found). A few lines have a form of
// their own, and a few exits write no line at all.
struct SlotResult {
  enum class Line { kUsual, kOwn, kNone };
  SECURITY_STATUS status = ERROR_SUCCESS;
  Line line = Line::kUsual;
  // kUsual: the detail, empty for none; kOwn: the whole line. Held without allocating, so that
  // a slot that has handed something out cannot fail afterwards.
  char text[kKspMessageBytes] = {};
};

// The usual exit line, with a detail formatted printf-style where one is given.
inline SlotResult Answer(SECURITY_STATUS status) { return {status, SlotResult::Line::kUsual}; }
SlotResult Answer(SECURITY_STATUS status, const char* detail_format, ...) KSP_PRINTF_FORMAT(2, 3);
// An exit line of its own form, formatted printf-style.
SlotResult AnswerWithLine(SECURITY_STATUS status, const char* line_format, ...)
    KSP_PRINTF_FORMAT(2, 3);
// An exit without a line.
inline SlotResult AnswerQuietly(SECURITY_STATUS status) {
  return {status, SlotResult::Line::kNone};
}

// How a slot's exit line starts: "<<< " after its own entry line, or ">>> " for an operation the
// provider never performs, whose one line is entry and exit at once:
// >>> MurakoDeleteKey: NTE_NOT_SUPPORTED (read-only KSP).
enum class SlotLineForm { kExit, kEntryAndExit };

// The one writer of the usual exit line, naming the status as ksp_status.h does; `detail` may
// be empty.
void WriteExitLine(const char* function_name, SECURITY_STATUS status, const char* detail,
                   SlotLineForm form = SlotLineForm::kExit) noexcept;
void WriteExitLine(const char* function_name, const SlotResult& result,
                   SlotLineForm form) noexcept;

// Runs the core of a table slot and writes its exit line, so that no C++ exception reaches CNG
// or the host program: anything thrown, a system library that cannot be loaded included, becomes
// NTE_INTERNAL_ERROR. The slot's log lines are written together when it returns.
template <typename Core>
SECURITY_STATUS GuardSlot(const char* function_name, Core&& core,
                          SlotLineForm form = SlotLineForm::kExit) noexcept {
  KspLogBatch lines_of_this_call;
  try {
    const SlotResult result = core();
    WriteExitLine(function_name, result, form);
    return result.status;
  } catch (const SystemLibraryUnavailable&) {
    WriteExitLine(function_name, NTE_INTERNAL_ERROR, "system library unavailable", form);
  } catch (...) {
    WriteExitLine(function_name, NTE_INTERNAL_ERROR, "unexpected exception", form);
  }
  return NTE_INTERNAL_ERROR;
}

// An operation the provider never performs: NTE_NOT_SUPPORTED with its one line, the reason as
// its detail (none when empty).
SECURITY_STATUS RefuseSlot(const char* function_name, const char* reason) noexcept;
