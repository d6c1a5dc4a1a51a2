#include "ksp_slot_guard.h"

#include <cstdarg>
#include <cstdio>

namespace {

struct NamedStatus {
  SECURITY_STATUS status;
  const char* name;
};

const NamedStatus kStatusNames[] = {
    {ERROR_SUCCESS, "SUCCESS"},
    {NTE_NO_MEMORY, "NTE_NO_MEMORY"},
    {NTE_NOT_FOUND, "NTE_NOT_FOUND"},
    {NTE_BAD_KEYSET, "NTE_BAD_KEYSET"},
    {NTE_FAIL, "NTE_FAIL"},
    {NTE_INVALID_HANDLE, "NTE_INVALID_HANDLE"},
    {NTE_INVALID_PARAMETER, "NTE_INVALID_PARAMETER"},
    {NTE_BUFFER_TOO_SMALL, "NTE_BUFFER_TOO_SMALL"},
    {NTE_NOT_SUPPORTED, "NTE_NOT_SUPPORTED"},
    {NTE_NO_MORE_ITEMS, "NTE_NO_MORE_ITEMS"},
    {NTE_INTERNAL_ERROR, "NTE_INTERNAL_ERROR"},
};

// null for a status the provider never answers with.
const char* StatusName(SECURITY_STATUS status) {
  for (const NamedStatus& named : kStatusNames) {
    if (named.status == status) return named.name;
  }
  return nullptr;
}

}  // namespace

SlotResult Answer(SECURITY_STATUS status, const char* detail_format, ...) {
  SlotResult result{status, SlotResult::Line::kUsual};
  va_list arguments;
  va_start(arguments, detail_format);
  KspFormatInto(result.text, detail_format, arguments);
  va_end(arguments);
  return result;
}

SlotResult AnswerWithLine(SECURITY_STATUS status, const char* line_format, ...) {
  va_list arguments;
  va_start(arguments, line_format);
  char line[kKspMessageBytes];
  KspFormatInto(line, line_format, arguments);
  va_end(arguments);
  SlotResult result = Answer(status, "%s", line);
  result.line = SlotResult::Line::kOwn;
  return result;
}

void WriteExitLine(const char* function_name, SECURITY_STATUS status, const char* detail,
                   SlotLineForm form) noexcept {
  char code[16];
  snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(status));
  const char* name = StatusName(status);
  const char* start = form == SlotLineForm::kEntryAndExit ? ">>>" : "<<<";
  if (*detail != '\0') {
    KspLog("%s %s: %s (%s)", start, function_name, name != nullptr ? name : code, detail);
  } else {
    KspLog("%s %s: %s", start, function_name, name != nullptr ? name : code);
  }
}

void WriteExitLine(const char* function_name, const SlotResult& result,
                   SlotLineForm form) noexcept {
  if (result.line == SlotResult::Line::kUsual) {
    WriteExitLine(function_name, result.status, result.text, form);
  } else if (result.line == SlotResult::Line::kOwn) {
    KspLog("%s", result.text);
  }
}

SECURITY_STATUS RefuseSlot(const char* function_name, const char* reason) noexcept {
  return GuardSlot(
      function_name, [&] { return Answer(NTE_NOT_SUPPORTED, "%s", reason); },
      SlotLineForm::kEntryAndExit);
}
