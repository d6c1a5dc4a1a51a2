#pragma once

#include "ksp_log.h"
#include "ksp_status.h"
#include "system_library.h"

// What the core of a table slot answers: its status and the detail of its exit line, empty for
// none. Held without allocating, so that a slot that has handed something out cannot fail
// afterwards.
struct SlotResult {
  SECURITY_STATUS status = ERROR_SUCCESS;
  char detail[kKspMessageBytes] = {};
};

inline SlotResult Answer(SECURITY_STATUS status) { return {status}; }
// An answer with a detail formatted printf-style.
SlotResult Answer(SECURITY_STATUS status, const char* detail_format, ...) KSP_PRINTF_FORMAT(2, 3);

// How a slot's exit lines read, declared once where the slot is guarded. The usual line is the
// function's name and the status name, with the detail in parentheses where there is one:
// <<< MurakoOpenKey: NTE_BAD_KEYSET (key not found).
struct ExitLineForm {
  // An operation the provider never performs writes one line, entry and exit at once:
  // >>> MurakoDeleteKey: NTE_NOT_SUPPORTED (read-only KSP).
  enum class Start { kAfterEntryLine, kEntryAndExit };
  // What follows the name: the status name and detail, the status code alone
  // (<<< MurakoOpenProvider: status=0x0), or the detail alone.
  enum class Content { kStatusName, kStatusCode, kDetailOnly };
  // Where a success's detail goes: in parentheses, or after a space
  // (<<< MurakoOpenKey: SUCCESS keyLength=2048 bits).
  enum class SuccessDetail { kInParentheses, kAfterSpace };
  // Which exits write no line.
  enum class Silent { kNever, kWithoutDetail, kOnSuccess };

  Start start = Start::kAfterEntryLine;
  Content content = Content::kStatusName;
  SuccessDetail success_detail = SuccessDetail::kInParentheses;
  Silent silent = Silent::kNever;
  // The name the lines give; null for the function's.
  const char* names = nullptr;
};

constexpr ExitLineForm kUsualExitLine{};
// The function's name and the status code.
constexpr ExitLineForm kStatusCodeExitLine{ExitLineForm::Start::kAfterEntryLine,
                                           ExitLineForm::Content::kStatusCode};
// A success's detail after a space.
constexpr ExitLineForm kSuccessAfterSpaceExitLine{
    ExitLineForm::Start::kAfterEntryLine, ExitLineForm::Content::kStatusName,
    ExitLineForm::SuccessDetail::kAfterSpace};
// As above, and only the exits with a detail write a line.
constexpr ExitLineForm kDetailedExitsOnlyLine{
    ExitLineForm::Start::kAfterEntryLine, ExitLineForm::Content::kStatusName,
    ExitLineForm::SuccessDetail::kAfterSpace, ExitLineForm::Silent::kWithoutDetail};
// Only failures write a line.
constexpr ExitLineForm kFailuresOnlyExitLine{
    ExitLineForm::Start::kAfterEntryLine, ExitLineForm::Content::kStatusName,
    ExitLineForm::SuccessDetail::kInParentheses, ExitLineForm::Silent::kOnSuccess};

// The one writer of the exit lines.
void WriteExitLine(const char* function_name, const ExitLineForm& form,
                   const SlotResult& result) noexcept;
// A failure of the barrier itself: always written, in the usual form, with the slot's start.
void WriteBarrierFailureLine(const char* function_name, const ExitLineForm& form,
                             const char* what) noexcept;

// Runs the core of a table slot and writes its exit line in the slot's form, so that no C++
// exception reaches CNG or the host program: anything thrown, a system library that cannot be
// loaded included, becomes NTE_INTERNAL_ERROR. The slot's log lines are written together when
// it returns.
template <typename Core>
SECURITY_STATUS GuardSlot(const char* function_name, Core&& core,
                          const ExitLineForm& form = kUsualExitLine) noexcept {
  KspLogBatch lines_of_this_call;
  try {
    const SlotResult result = core();
    WriteExitLine(function_name, form, result);
    return result.status;
  } catch (const SystemLibraryUnavailable&) {
    WriteBarrierFailureLine(function_name, form, "system library unavailable");
  } catch (...) {
    WriteBarrierFailureLine(function_name, form, "unexpected exception");
  }
  return NTE_INTERNAL_ERROR;
}

// An operation the provider never performs: NTE_NOT_SUPPORTED with its one line, the reason as
// its detail (none when empty).
SECURITY_STATUS RefuseSlot(const char* function_name, const char* reason) noexcept;
